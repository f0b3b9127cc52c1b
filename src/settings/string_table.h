// Keys of the localised texts and their English defaults.
#pragma once

#include <cstdint>

// Slots "string1" ... "string89" and the keys added after them.
constexpr int kFirstAddedString = 90;
constexpr int kStringSlots = 101;  // highest key number
constexpr int kStringChars = 1024;

// Keys "string1" ... "string89" that the program uses, by what they say.
constexpr int kStrPreparing = 1;           // "Preparing images ..."
constexpr int kStrCrashedLastTime = 2;     // "The application crashed last time. It's probably caused by low memory."
constexpr int kStrWarning = 3;             // "Warning"
constexpr int kStrMenuFile = 4;            // "File"
constexpr int kStrMenuProcessing = 5;      // "Processing"
constexpr int kStrMenuHelp = 6;            // "Help"
constexpr int kStrProgressZero = 7;        // "Progress: 0%"
constexpr int kStrSaveAs = 8;              // "Save As..."
constexpr int kStrClose = 9;               // "Close"
constexpr int kStrOptionsMenu = 10;        // "Options..."
constexpr int kStrExit = 11;               // "Exit"
constexpr int kStrSmartContrastMenu = 12;  // "Smart Contrast..."
constexpr int kStrSolvaneUp = 13;          // "Solvane UP..."
constexpr int kStrProgress = 14;           // "Progress: "
constexpr int kStrAboutMenu = 20;          // "About..."
constexpr int kStrContinueWithoutSaving =
    21;                                      // "The image was created but not saved, do you want to continue without s"
constexpr int kStrShowing = 22;              // "Showing"
constexpr int kStrLevelOne = 23;             // "one"
constexpr int kStrZoomIn = 25;               // "Zoom In (+)"
constexpr int kStrZoomOut = 26;              // "Zoom Out (-)"
constexpr int kStrZoomFit = 27;              // "Zoom Image to Fit the Window"
constexpr int kStrZoom100 = 28;              // "Set Zoom 100%"
constexpr int kStrSetZoom = 29;              // "Set Zoom"
constexpr int kStrLevelTwo = 30;             // "two"
constexpr int kStrLevelFour = 31;            // "four"
constexpr int kStrLevelEight = 32;           // "eight"
constexpr int kStrReport = 38;               // "Report"
constexpr int kStrFormatNotSupported = 41;   // "Image format not supported!"
constexpr int kStrAbout = 42;                // "About"
constexpr int kStrSelectLanguage = 43;       // "Select Language:"
constexpr int kStrOptions = 44;              // "Options"
constexpr int kStrOk = 45;                   // "OK"
constexpr int kStrCancel = 46;               // "Cancel"
constexpr int kStrRestartForLanguage = 47;   // "You have to restart application to affect the language change"
constexpr int kStrJpegQuality = 48;          // "Jpeg Quality:"
constexpr int kStrPowerLabel = 49;           // "Power:"
constexpr int kStrSetDefaults = 53;          // "Set Defaults"
constexpr int kStrFlatness = 54;             // "Flatness:"
constexpr int kStrTuneParameters = 55;       // "Please tune parameters for desired results."
constexpr int kStrLevelSixteen = 56;         // "sixteen"
constexpr int kStrCanceling = 57;            // "Canceling ..."
constexpr int kStrLevelThirtyTwo = 58;       // "thirty-two"
constexpr int kStrLevelSixtyFour = 59;       // "sixty-four"
constexpr int kStrLevelOneTwentyEight = 60;  // "one hundred twenty-eight"
constexpr int kStrExposure = 61;             // "Exposure:"
constexpr int kStrSolvaneFusion = 62;        // "Solvane Fusion"
constexpr int kStrLevelOfDetails = 63;       // "Level of details(pixels)"
constexpr int kStrPowerHeader = 64;          // "Power"
constexpr int kStrSmartContrast = 65;        // "Smart Contrast"
constexpr int kStrLoadImage = 66;            // "Load Image..."
constexpr int kStrStretchHistogram = 67;     // "Stretch Histogram"
constexpr int kStrAbort = 68;                // "Abort"
constexpr int kStrSolvaneDown = 69;          // "Solvane DOWN..."

// Added keys (after "string89").
constexpr int kStrPictureTooLarge = 90;       // a picture too large to hold in memory
constexpr int kStrSaveFailed = 91;            // the encoder could not write the file
constexpr int kStrContrastTooSmall = 93;      // Smart Contrast needs both sides of at least 10 pixels
constexpr int kStrContrastNoMemory = 94;      // the Smart Contrast pyramid does not fit in memory
constexpr int kStrTilesNotWritten = 95;       // the exposure tiles could not be written (%s: the folder)
constexpr int kStrFusionFailed = 96;          // a fusion run could not be computed
constexpr int kStrPathTooLong = 97;           // a dropped file whose path does not fit the path buffers
constexpr int kStrSavedWithoutMetadata = 98;  // exiftool did not finish in time; the picture was saved
constexpr int kStrUnsavedShutdown = 99;       // why the program holds a shutdown or logoff back
constexpr int kStrLanguageNotSaved = 100;     // the chosen language could not be stored
constexpr int kStrFusing = 101;               // the whole fusion after OK, with its progress bar

// The English default of "string<n>"; empty for unused numbers and numbers out of range.
const wchar_t* EnglishString(int n);
