// Keys of the localised texts and their English defaults.
#pragma once

#include <cstdint>

// Slots "string1" ... "string89" and the keys added after them.
constexpr int kFirstAddedString = 90;
constexpr int kStringSlots = 100;  // highest key number
constexpr int kStringChars = 1024;

// Added keys (after "string89").
constexpr int kStrPictureTooLarge = 90;  // a picture too large to hold in memory
constexpr int kStrSaveFailed = 91;       // the encoder could not write the file
constexpr int kStrContrastTooSmall = 93;  // Smart Contrast needs both sides of at least 10 pixels
constexpr int kStrContrastNoMemory = 94;  // the Smart Contrast pyramid does not fit in memory
constexpr int kStrTilesNotWritten = 95;   // the exposure tiles could not be written (%s: the folder)
constexpr int kStrFusionFailed = 96;      // a fusion run could not be computed
constexpr int kStrPathTooLong = 97;       // a dropped file whose path does not fit the path buffers
constexpr int kStrSavedWithoutMetadata = 98;  // exiftool did not finish in time; the picture was saved
constexpr int kStrUnsavedShutdown = 99;       // why the program holds a shutdown or logoff back
constexpr int kStrLanguageNotSaved = 100;     // the chosen language could not be stored

// The English default of "string<n>"; empty for unused numbers and numbers out of range.
const wchar_t* EnglishString(int n);
