#include "framework/CmdTarget.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

namespace {

const AFX_MSGMAP_ENTRY kNoEntries[] = {{0, 0, 0, 0, nullptr}};
const AFX_MSGMAP kCmdTargetMap = {nullptr, kNoEntries};

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    return &kCmdTargetMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return &kCmdTargetMap;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code, LPARAM lParam)
{
    const WPARAM wParam = MAKEWPARAM(id, code);
    const bool query = code == CN_COMMAND_QUERY;
    if (query)
        code = 0;
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage; ++entry) {
            if (entry->nMessage != WM_COMMAND || entry->nCode != (UINT)code || id < entry->nID || id > entry->nLastID)
                continue;
            if (query)
                return TRUE;
            LRESULT ignored = 0;
            if (entry->pfnThunk(this, wParam, lParam, ignored))
                return TRUE;
        }
    return FALSE;
}

BOOL CCmdTarget::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage; ++entry)
            if (entry->nMessage == message && entry->pfnThunk(this, wParam, lParam, result))
                return TRUE;
    return FALSE;
}
