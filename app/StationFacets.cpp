// The facets of the running station, in the order they are called at each moment.
// A new part adds its include and one line here.
#include "app/MainFacet.h"
#include "app/AlertSendersFacet.h"

namespace vigil {

TFacetList MakeStationFacets(TfrmMain& main) {
  TFacetList facets;
  facets.push_back(std::make_unique<TAlertSendersFacet>(main));
  return facets;
}

}  // namespace vigil
