#pragma once

#include <QByteArray>
#include <QStringList>
#include <optional>

class SingleInstance;

// Start-up steps of the program's main(), before its windows.
namespace startup {

// As root the engine aborts without its sandbox: false, said plainly on standard error,
// unless the user turned the sandbox off. Turning it off is the user's decision, never ours.
bool mayRunTheEngine();

// Hands the addresses (and the desktop's token) to the Halvane already running for this
// profile. The status to end with when it took them, or refused them (said on standard
// error); nothing when this start goes on, listening through instance or by itself.
std::optional<int> handOver(SingleInstance &instance, const QStringList &addresses, const QByteArray &token);

} // namespace startup
