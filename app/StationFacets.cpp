// The facets of the running station, in the order they are called at each moment.
// A new part adds its include and one line here.
#include "app/MainFacet.h"
#include "app/AlarmFacet.h"
#include "app/AlertSendersFacet.h"
#include "app/ChannelsFacet.h"
#include "app/SystemTimerFacet.h"

namespace vigil {

TFacetList MakeStationFacets(TfrmMain& main) {
  TFacetList facets;
  facets.push_back(std::make_unique<TChannelsFacet>(main));  // first: the others use its channels
  facets.push_back(std::make_unique<TAlarmFacet>(main));
  facets.push_back(std::make_unique<TAlertSendersFacet>(main));
  facets.push_back(std::make_unique<TSystemTimerFacet>(main));
  return facets;
}

}  // namespace vigil
