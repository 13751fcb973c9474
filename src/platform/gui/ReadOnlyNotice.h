// What a read-only notebook shows and says: the padlock a locked notebook
// wears wherever it is shown (its tree's root, its window and so its tab),
// and the message that answers a change tried on it.
#pragma once

#include <QIcon>

class CClipVaultDoc;

// `base` with a small padlock drawn in its lower right corner, at every
// size the icon has (16 pixels when it has none).
QIcon LockedIcon(const QIcon& base);

// A change the user tried: while the notebook is read-only it is refused
// with the message that says why (locked: how to unlock it; damaged: that
// it never takes a change) and true comes back; otherwise false, nothing
// shown.
bool RefuseChange(const CClipVaultDoc& doc);
