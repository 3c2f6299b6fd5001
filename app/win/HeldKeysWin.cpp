// Windows repeats a held key as presses and sends one release: nothing to ask for.
#include "app/HeldKeys.h"

bool AskForOneReleasePerHeldKey() {
    return true;
}
