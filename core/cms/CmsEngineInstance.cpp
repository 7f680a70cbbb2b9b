#include "core/cms/CmsEngineInstance.h"

CCmsEngine* g_pCmsEngine = nullptr;
