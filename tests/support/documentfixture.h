#pragma once

#include "browser/frmBrowser.h"
#include "browser/historywriter.h"
#include "support/testplatform.h"

#include <QComboBox>
#include <QMdiArea>
#include <memory>

// A document area, its host with the tools panel, and a temporary program folder: what a
// test of document windows starts from. Call setUp() in init() and tearDown() in cleanup().
class DocumentFixture
{
protected:
    std::unique_ptr<TestPlatform> env;
    std::unique_ptr<QMdiArea> area;
    std::unique_ptr<TestHost> host;

    void setUp()
    {
        env = std::make_unique<TestPlatform>();
        area = std::make_unique<QMdiArea>();
        area->resize(1000, 800);
        area->show();
        host = std::make_unique<TestHost>(area.get());
    }
    void tearDown()
    {
        // The windows' history writes run on; let them end before their folder goes.
        HistoryWriter::waitForAll();
        host.reset();
        area.reset();
        env.reset();
    }

    frmBrowser *newWindow() { return new frmBrowser(area.get(), env->platform, *host); }
    static ScriptedBrowser *browserOf(frmBrowser *w) { return static_cast<ScriptedBrowser *>(w->brwWebBrowser); }
    static QStringList listOf(const frmBrowser *w)
    {
        QStringList items;
        for (int i = 0; i < w->cboAddress->count(); ++i)
            items << w->cboAddress->itemText(i);
        return items;
    }
};
