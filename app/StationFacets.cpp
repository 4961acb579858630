// The facets of the running station, in the order they are called at each moment.
// A new part adds its include and one line here.
#include "app/MainFacet.h"

namespace vigil {

TFacetList MakeStationFacets(TfrmMain& main) {
  (void)main;
  TFacetList facets;
  return facets;
}

}  // namespace vigil
