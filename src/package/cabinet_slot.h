#pragma once
// The process-wide thread-local slot through which the cabinet decoder's
// callbacks find the extraction object their thread is running: the
// decoder's file and memory callbacks carry no pointer of ours.

namespace Cabinet {

class CExtract;

// Allocates the slot. The start-up calls it once before any thread is
// started; later calls (and the extraction's own lazy call) do nothing.
// False when the system has no slot to give; a later call tries again.
bool InitThreadSlot();

// The object registered for the calling thread, or null.
CExtract* ThreadSlotObject();

// Registers `object` (null clears) for the calling thread; false when there
// is no slot or the system refuses.
bool SetThreadSlotObject(CExtract* object);

// Clears the calling thread's registration, whichever object holds it. The
// update engine calls it after each extraction so that the next object of
// the same thread can register.
void ClearThreadSlot();

}  // namespace Cabinet
