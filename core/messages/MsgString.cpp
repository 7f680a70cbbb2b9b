#include "core/messages/MsgString.h"

#include "core/messages/MessageCatalog.h"

int CMsgString::LoadMessage(int id)
{
    if (!g_pMessageCatalog) {
        Empty();
        return 0;
    }
    int found = 0;
    CString::operator=(g_pMessageCatalog->Lookup(id, found));
    return found;
}
