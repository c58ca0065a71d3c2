#pragma once

class frmBrowser;

// The two site shortcuts; both send the one shared, unnumbered document window.
namespace mod1 {

void OpenWebMail(frmBrowser &shared);
void OpenSearchPage(frmBrowser &shared);

} // namespace mod1
