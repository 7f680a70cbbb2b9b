// Writes the default flavour file "rgb\Portrait.flv" (the parts Warmer, then Contrast) into the
// colour-correction folder of an installed engine, through the engine and the program's own
// flavour-file writer. Run in the engine's base folder (the one that holds "MIREVANT\").

#include "colour/ChromabondChain.h"
#include "colour/FlavorFile.h"
#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const char* const kParts[] = {"rgb\\Warmer.icc", "rgb\\Contrast.icc"};
constexpr const char* kFlavourFile = "rgb\\Portrait.flv";

std::string CurrentFolder()
{
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

bool WriteFlavour(const std::string& ini)
{
    const std::string ccorr = ColourCorrectionFolder(ini.c_str()) + "\\";
    auto* entries = new CChromabondHandle[2];
    CChromabondChain chain;
    bool loaded = entries[0].Load((ccorr + kParts[0]).c_str()) && entries[1].Load((ccorr + kParts[1]).c_str());
    chain.Set(entries, 2, true);
    if (!loaded) {
        fprintf(stderr, "make_demo_flavour: the parts in %s cannot be loaded\n", ccorr.c_str());
        return false;
    }
    bool saved = SaveFlavorFile(chain, kFlavourFile, ini.c_str());
    chain.Clear();
    if (!saved)
        fprintf(stderr, "make_demo_flavour: %s%s cannot be written\n", ccorr.c_str(), kFlavourFile);
    return saved;
}

}  // namespace

int main()
{
    const std::string base = CurrentFolder();
    HMODULE dll = LoadLibraryA((base + "\\MIREVANT\\CENGINE\\CMS02732.DLL").c_str());
    auto getInstance = dll != nullptr ? reinterpret_cast<GetCmsInstanceFn>(reinterpret_cast<void*>(
                                            GetProcAddress(dll, kGetCmsInstanceExport)))
                                      : nullptr;
    auto freeInstance = dll != nullptr ? reinterpret_cast<FreeCmsInstanceFn>(reinterpret_cast<void*>(
                                             GetProcAddress(dll, kFreeCmsInstanceExport)))
                                       : nullptr;
    if (getInstance == nullptr || freeInstance == nullptr) {
        fprintf(stderr, "make_demo_flavour: no colour engine below %s\n", base.c_str());
        return 1;
    }
    g_pCmsEngine = getInstance((base + "\\MIREVANT\\").c_str());
    // The writer finds the colour-correction folder through an engine INI file; this one names
    // the base folder at hand.
    const std::string ini = base + "\\demo_flavour.ini";
    WritePrivateProfileStringA("Zelk CMS", "BaseDir", base.c_str(), ini.c_str());
    bool written = g_pCmsEngine != nullptr && WriteFlavour(ini);
    DeleteFileA(ini.c_str());
    if (g_pCmsEngine != nullptr)
        freeInstance(g_pCmsEngine);
    g_pCmsEngine = nullptr;
    FreeLibrary(dll);
    return written ? 0 : 1;
}
