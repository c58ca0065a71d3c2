#pragma once

#include <QString>

// The machine's own address as text: the first IPv4 address of an interface that is up
// and not the loopback, else "127.0.0.1".
QString localMachineAddress();
