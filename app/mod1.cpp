#include "app/mod1.h"

#include "app/addresses.h"
#include "browser/frmBrowser.h"
#include "engine/webbrowser.h"

namespace mod1 {

void OpenWebMail(frmBrowser &shared)
{
    shared.brwWebBrowser->Navigate(addresses::webMail());
}

void OpenSearchPage(frmBrowser &shared)
{
    shared.brwWebBrowser->Navigate(addresses::searchPage());
}

} // namespace mod1
