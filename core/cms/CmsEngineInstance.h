#pragma once

class CCmsEngine;

// The program's one colour engine instance, set by the start-up once the engine DLL is loaded
// and cleared at exit; null while there is none. The scan core calls the engine through it.
extern CCmsEngine* g_pCmsEngine;
