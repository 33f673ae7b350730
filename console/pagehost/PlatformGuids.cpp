// Identifiers the host uses that MinGW's uuid library lacks.
#include <initguid.h>

#include <mshtmhst.h>  // defines CGID_DocHostCommandHandler here

DEFINE_GUID(CLSID_HTMLDocument, 0x25336920, 0x03f9, 0x11cf, 0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13);
