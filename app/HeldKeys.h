#pragma once
// Every key action of the window happens on a key's release, once: a held key must not give
// a release for each repeat. One file per window system says how that is asked for.

// Call once the application object exists. True when the window system now gives one
// release per held key (or always did); false when it cannot be asked.
bool AskForOneReleasePerHeldKey();
