#pragma once

// Flavour files (".flv"): a "CMS Object list" container of engine objects, the parts of a flavour
// in order, and the last-flavour files that keep each image type's flavour across a restart. Both
// the writer and the reader work in the colour-correction folder, so relative paths lie below it.

#include "colour/ChromabondChain.h"

#include <string>
#include <vector>

// "<BaseDir>\MIREVANT\CCORR" in capitals, BaseDir from "mirevant.ini" [Zelk CMS] (default "C:");
// null iniFile means the Windows directory's file.
std::string ColourCorrectionFolder(const char* iniFile = nullptr);

// Where the parts of a file that is read go, one engine object file at a time.
class CFlavorPartSink {
public:
    virtual ~CFlavorPartSink() = default;
    // The part at position is in the file at path (valid during the call); false refuses it.
    virtual bool AddFlavorPart(int position, const char* path) = 0;
};

// A sink that loads each part into a handle, for the current flavour without the Flavors dialog.
class CFlavorPartList : public CFlavorPartSink {
public:
    ~CFlavorPartList() override;
    bool AddFlavorPart(int position, const char* path) override;
    // Hands the parts to the chain, which takes them over as its own entries.
    void MoveInto(CChromabondChain& chain);
    size_t Size() const { return m_Parts.size(); }

private:
    std::vector<CChromabondHandle> m_Parts;
};

// Writes the entries of chain to path; the file it replaces stays as it was when a part cannot be
// written. False after the message (3311, 3312 with the path, 3317).
bool SaveFlavorFile(const CChromabondChain& chain, const char* path, const char* iniFile = nullptr);
// Reads the parts of the file into sink from position on; a part the file cuts short or the sink
// refuses ends the reading (3310 with the path), the parts before it stay. False after the message.
bool ReadFlavorFile(int position, const char* path, CFlavorPartSink& sink, const char* iniFile = nullptr);

// The last-flavour file of an image type below the colour-correction folder ("thelast\lastrgb.flv");
// empty for line art and halftone.
std::string LastFlavorFile(int imageType);
// The display name of an image type's last-flavour file: "<3187> <4110|4111|4112>".
std::string LastFlavorDisplayName(int imageType);
// Saves the current chain as the image type's last flavour: false for an empty chain, line art and
// halftone; true at once when the chain is what a file holds already. The chain is then named after
// the file and marked stored.
bool SaveLastFlavorFile(CChromabondChain& chain, int imageType, const char* iniFile = nullptr);
// Names the image type's flavour in the settings (the last-flavour file's display name, or the
// chain's name) and marks it set (parameter 143 = 2).
void SetFlavorNameForType(const CChromabondChain& chain, int imageType, bool lastFile);

// Empties the chain and its name and marks the current image type without flavour.
void ResetFlavor(CChromabondChain& chain);
// Loads the flavour the settings name for the current image type into the chain: its last-flavour
// file, a file of that name in "thelast\", or the file the INI key "Last GRAY Flavor" (RGB, CMYK)
// names when its file name is that name; otherwise the flavour is reset. The chain then counts as
// stored. Nothing happens without a name.
void LoadLastFlavor(CChromabondChain& chain, const char* iniFile = nullptr);
