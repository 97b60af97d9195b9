#include "search/search_state.h"

namespace ostinel {

SearchState g_search;
bool g_dialogShown = false;
bool g_searchActive = false;

}  // namespace ostinel
