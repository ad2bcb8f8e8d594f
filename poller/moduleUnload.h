// The unload beyond the poller: the instances the host holds, the drain of
// the calls still inside when it frees the last one (in dllshutdown, outside
// the loader lock), the detach's look at what is left, and the module kept
// loaded (pinned) whenever a call may still be inside. docs/lifecycle.md,
// "Calls under way" and "Kept loaded", tells the whole of it.
#pragma once

// dllstartup, before the poller's start: a start in an image that an unload
// tore down but kept loaded begins as a load does, and fan commands wait
// for their turn again.
void instanceStarting();

// dllstartup's block, as it hands it to the host (null: none).
void instanceHandedOut(const void *block);

// dllshutdown, once it has freed a block (null: none). With the last one the
// host is about to unload: fan commands waiting for their turn go, and the
// calls that end within a bound of their own are waited for (at most 5 s).
// Should a call stay inside all the same (a dialog open, a bridge call past
// its bound), the module is kept loaded and the poller's teardown runs here,
// since no process detach comes for a kept module.
void instanceFreed(const void *block);

// DllMain's process detach for FreeLibrary, under the loader lock: the
// poller's teardown, and the module kept loaded when a call is still inside
// or the poller was not seen out. Nothing here waits for a call.
void detachModule();
