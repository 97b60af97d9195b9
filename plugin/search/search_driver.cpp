#include "search/search_driver.h"

#include "search/search_state.h"

namespace ostinel {

// The walk itself arrives with the rest measurement; until then the search
// commands leave the score and the dialog as they are.
void SearchStart(HWND, bool) {}
void SearchContinue(HWND) {}
bool SearchCreate(HWND) { return false; }
void SearchPass(HWND, bool) {}
bool SearchExists() { return g_search.groups != nullptr; }
void SearchRelease() { g_search.groups.reset(); }

}  // namespace ostinel
