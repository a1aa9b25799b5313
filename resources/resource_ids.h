// Resource ids shared by the C++ code and ostrel.rc; plain defines so the resource compiler
// can read them too.
#ifndef OSTREL_RESOURCE_IDS_H
#define OSTREL_RESOURCE_IDS_H

// The window's pictures, stored as raw file bytes (RCDATA) and decoded at run time.
#define IDB_BACKGROUND 101
#define IDB_BUTTON_FACE 102
#define IDB_MIN_UP 103
#define IDB_MIN_DOWN 104
#define IDB_CLOSE_UP 105
#define IDB_CLOSE_DOWN 106

#endif
