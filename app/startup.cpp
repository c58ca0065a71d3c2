#include "app/startup.h"

#include "system/singleinstance.h"

#include <QtGlobal>
#include <cstdio>
#include <unistd.h>

namespace startup {

bool mayRunTheEngine()
{
    if (geteuid() != 0 || !qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        return true;
    std::fputs("halvane: running as root, where the web engine cannot use its sandbox; "
               "run as an ordinary user, or set QTWEBENGINE_DISABLE_SANDBOX=1 to run "
               "without the sandbox.\n",
               stderr);
    return false;
}

std::optional<int> handOver(SingleInstance &instance, const QStringList &addresses, const QByteArray &token)
{
    switch (instance.start({token, addresses})) {
    case SingleInstance::Start::HandedOver:
        return 0;
    case SingleInstance::Start::Refused:
        std::fprintf(stderr, "halvane: the Halvane already running did not open the addresses: %s\n",
                     qUtf8Printable(instance.refusal()));
        return 1;
    case SingleInstance::Start::First:
    case SingleInstance::Start::Alone:
        break;
    }
    return std::nullopt;
}

} // namespace startup
