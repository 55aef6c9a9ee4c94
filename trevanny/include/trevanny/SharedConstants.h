// Further shared names of the libraries: the parts of an I/O configuration, the saved screen
// positions, the window classes that receive the automation code's notifications, the console's
// I/O system types and track formats, the status message and the thinning strengths offered to
// the operator. Constant texts fixed at build time: safe from any static initialiser or thread.
#pragma once

/// Parts of an I/O configuration.
inline constexpr char kIOConfigInput[] = "Input";
inline constexpr char kIOConfigOutput[] = "Output";
inline constexpr char kIOConfigSrcIn[] = "SRC In";
inline constexpr char kIOConfigSrcOut[] = "SRC Out";
inline constexpr char kIOConfigInputDelayUnits[] = "Input Delay Units";
inline constexpr char kIOConfigOutputDelayUnits[] = "Output Delay Units";
inline constexpr char kIOConfigVersion[] = "Version";
inline constexpr char kIOConfigCurrentIO[] = "Current IO";
inline constexpr char kIOConfigDefaultIO[] = "Default IO";

/// Saved screen positions: one key per display size, a value per side.
inline constexpr char kScreenLocationStandardKey[] =
    "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen location\\Standard Display\\";
inline constexpr char kScreenLocationLargeKey[] =
    "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen location\\Large Display\\";
inline constexpr char kScreenValueMonitor[] = "Monitor";
inline constexpr char kScreenValueTop[] = "Top";
inline constexpr char kScreenValueLeft[] = "Left";
inline constexpr char kScreenValueBottom[] = "Bottom";
inline constexpr char kScreenValueRight[] = "Right";

/// The automation program's main window: receiver of the requests for a status window.
inline constexpr char kMainWindowClass[] = "CantleUniqueClass";
/// The status display: receiver of the progress notifications of long automation operations.
inline constexpr char kStatusWindowClass[] = "CantleStatusWindow";

/// Name of the server's status message.
inline constexpr char kStatusMessageName[] = "KIVStatusMessage";
/// The name that stands for the automation data in use rather than a stored file.
inline constexpr char kUseCurrentAutomation[] = "USE_CURRENT_AUTOMATION";

/// The console's paths (channels), numbered 0 to 1999: the most that any console type, state
/// table or server block holds.
inline constexpr int kConsolePaths = 2000;

/// I/O system types by type number.
inline constexpr int kIOSystemTypeCount = 9;
inline constexpr const char* kIOSystemTypeNames[kIOSystemTypeCount] = {
    "MADI", "Truv", "Luskar", "Lusk", "Tranlinked IOS", "Self Booting IOS", "Torvalind", "Tessaract", "Undefined",
};
/// The name of a type; any number outside 0 to 8 is "Undefined".
constexpr const char* GetIOSystemTypeName(int type)
{
    return (type >= 0 && type < kIOSystemTypeCount) ? kIOSystemTypeNames[type] : kIOSystemTypeNames[8];
}

/// Track formats by format number.
inline constexpr int kTrackFormatCount = 8;
inline constexpr const char* kTrackFormatNames[kTrackFormatCount] = {
    "Mono", "Stereo", "LCRS", "5.1", "6.1", "7.1", "5.1 (8 Films)", "6.1 (8 Films)",
};
/// The name of a format; "" for a number outside 0 to 7.
constexpr const char* GetTrackFormatName(int format)
{
    return (format >= 0 && format < kTrackFormatCount) ? kTrackFormatNames[format] : "";
}

/// Thinning strengths offered to the operator, by position of the choice: seven steps, the
/// number falling from 8 (light) to 3 (heavy)...
inline constexpr int kThinningChoiceCount7 = 7;
inline constexpr const char* kThinningChoices7[kThinningChoiceCount7] = {
    "No Change", "8 Light", "7", "6", "5", "4", "3 Heavy",
};
/// ... and seventeen steps, the number equal to the position, each four steps 0.05 dB more.
inline constexpr int kThinningChoiceCount17 = 17;
inline constexpr const char* kThinningChoices17[kThinningChoiceCount17] = {
    "No Change", "1 (Light)", "2", "3", "4 (0.05 dB)", "5", "6", "7", "8 (0.1 dB)",
    "9", "10", "11", "12 (0.15 dB)", "13", "14", "15", "16 (0.2 dB) (Heavy)",
};
