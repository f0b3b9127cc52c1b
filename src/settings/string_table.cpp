// English defaults of the localised texts; compiled in so the program runs without the localisation file.
#include "settings/string_table.h"

namespace {

struct DefaultText {
    int key;
    const wchar_t* text;
};

constexpr DefaultText kEnglish[] = {
    {1, L"Preparing images ..."},
    {2, L"The application crashed last time. It's probably caused by low memory."},
    {3, L"Warning"},
    {4, L"File"},
    {5, L"Processing"},
    {6, L"Help"},
    {7, L"Progress: 0%"},
    {8, L"Save As..."},
    {9, L"Close"},
    {10, L"Options..."},
    {11, L"Exit"},
    {12, L"Smart Contrast..."},
    {13, L"Solvane UP..."},
    {14, L"Progress: "},
    {20, L"About..."},
    {21, L"The image was created but not saved, do you want to continue without saving?"},
    {22, L"Showing"},
    {23, L"one"},
    {25, L"Zoom In (+)"},
    {26, L"Zoom Out (-)"},
    {27, L"Zoom Image to Fit the Window"},
    {28, L"Set Zoom 100%"},
    {29, L"Set Zoom"},
    {30, L"two"},
    {31, L"four"},
    {32, L"eight"},
    {38, L"Report"},
    {41, L"Image format not supported!"},
    {42, L"About"},
    {43, L"Select Language:"},
    {44, L"Options"},
    {45, L"OK"},
    {46, L"Cancel"},
    {47, L"You have to restart application to affect the language change"},
    {48, L"Jpeg Quality:"},
    {49, L"Power:"},
    {53, L"Set Defaults"},
    {54, L"Flatness:"},
    {55, L"Please tune parameters for desired results."},
    {56, L"sixteen"},
    {57, L"Canceling ..."},
    {58, L"thirty-two"},
    {59, L"sixty-four"},
    {60, L"one hundred twenty-eight"},
    {61, L"Exposure:"},
    {62, L"Solvane Fusion"},
    {63, L"Level of details(pixels)"},
    {64, L"Power"},
    {65, L"Smart Contrast"},
    {66, L"Load Image..."},
    {67, L"Stretch Histogram"},
    {68, L"Abort"},
    {69, L"Solvane DOWN..."},
    {kStrPictureTooLarge, L"The picture is too large to be loaded."},
    {kStrSaveFailed,
     L"The file could not be saved. Check that the folder is writable, that the disk is not full and that the "
     L"file is not open in another program."},
    {kStrContrastTooSmall, L"Smart Contrast needs a picture of at least 10 pixels in width and height."},
    {kStrContrastNoMemory, L"There is not enough memory to apply Smart Contrast to this picture."},
    {kStrTilesNotWritten,
     L"The prepared pictures could not be written to the folder %s. Check that the folder is writable and that "
     L"the disk is not full."},
    {kStrFusionFailed,
     L"The fusion could not be computed: there is not enough memory, or a prepared picture could not be read. "
     L"The picture was left unchanged."},
    {kStrPathTooLong,
     L"The path of this file is too long to be opened. Move the file to a folder with a shorter path."},
    {kStrSavedWithoutMetadata, L"The picture was saved without its metadata: exiftool did not finish in time."},
    {kStrUnsavedShutdown, L"SolvanePictova has a processed picture that is not saved, or is still working on one."},
    {kStrLanguageNotSaved,
     L"The language could not be saved: the program's folder cannot be written. The language stays as it was."},
    {kStrFusing, L"Fusing the renderings ..."},
};

}  // namespace

const wchar_t* EnglishString(int n) {
    for (const DefaultText& d : kEnglish) {
        if (d.key == n)
            return d.text;
    }
    return L"";
}
