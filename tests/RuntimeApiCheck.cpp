// A program that knows the runtime only through its public header and its
// library, as an application does: it must build and link.
#include "runtime/Runtime.h"

int main() {
    SetLogOutput(0);
    LogWrite("");
    char padName[8];
    GetFirstPadProductName(padName, sizeof padName);
    SeedRandom(1);
    return RandomUpTo(0) + StartupRefusal();
}
