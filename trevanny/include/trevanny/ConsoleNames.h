// The names of the console software: stored streams, sub-storages and sections of its data
// files, folders, file names and extensions, registry keys and value names, preference names and
// file-dialog filters. Code refers to these constants, never to the literal, so that one name
// is spelled the same everywhere.
//
// Each is a constant text, fixed when the program is built: it can be used from any static
// initialiser and any thread. Several texts occur more than once under different names ("Ctrls",
// "Rtes", "Automation", "Snapshots" ...); they are distinct names of distinct places. Prefixes:
// kStream (a stream, sub-storage or section), kFolder, kFile, kExt (a file extension with its
// dot), kRegKey, kRegValue, kFormat (a printf format), kFilter (a file-dialog filter).
#pragma once

#include <array>
#include <cstddef>

namespace console_names_detail {

// "a\b\": two names joined by backslashes, each followed by one, at compile time.
template <std::size_t A, std::size_t B>
constexpr std::array<char, A + B + 1> JoinWithBackslashes(const char (&a)[A], const char (&b)[B])
{
    std::array<char, A + B + 1> out{};
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < A; ++i) out[n++] = a[i];
    out[n++] = '\\';
    for (std::size_t i = 0; i + 1 < B; ++i) out[n++] = b[i];
    out[n++] = '\\';
    out[n] = 0;
    return out;
}

}  // namespace console_names_detail

inline constexpr char kStreamSystemSoftware[] = "System software";
inline constexpr char kStreamMsuAutomation[] = "MSU Automation";
inline constexpr char kStreamAutomationPasses[] = "Automation Passes";
inline constexpr char kStreamEngineering[] = "Engineering";
inline constexpr char kStreamEngineeringLastBoot[] = "Engineering Last Boot";
inline constexpr char kStreamSps[] = "SPS";
inline constexpr char kStreamBootPhase1[] = "Boot phase 1";
inline constexpr char kStreamNewMix[] = "New Mix";
inline constexpr char kFileLabels[] = "Labels.lbl";
inline constexpr char kStreamQjMsu[] = "QjMsu";
inline constexpr char kExtQjMsu[] = ".qjmsu";
inline constexpr char kFileNotes[] = "Notes.nte";
inline constexpr char kStreamCurrentMsu[] = "Current msu";
inline constexpr char kStreamMixSetup[] = "Mix setup";
inline constexpr char kStreamQjSetup[] = "QJ setup";
inline constexpr char kStreamPathNames[] = "Path names";
inline constexpr char kStreamLongPathNames[] = "Long Path Names";
inline constexpr char kStreamCurrentDefaults[] = "Current defaults";
inline constexpr char kFolderConsoleDrive[] = "C:\\";
inline constexpr char kFolderTmp[] = "tmp";
inline constexpr char kStreamAutomation[] = "Automation";
inline constexpr char kFileAutomation[] = "Automation.aut";
inline constexpr char kStreamCompTypes[] = "CompTypes";
inline constexpr char kStreamFolddown[] = "Folddown";
inline constexpr char kStreamGains[] = "Gains";
inline constexpr char kStreamConfigNames[] = "Config Names";
inline constexpr char kFileRovellIoc[] = "Rovell.ioc";
inline constexpr char kFileConfigurationWnc[] = "Configuration.wnc";
inline constexpr char kFileIODefsWnc[] = "IODefs.wnc";
inline constexpr char kFileRegistryDataWnc[] = "RegistryData.wnc";
inline constexpr char kFileRegistryDataZpp[] = "RegistryData.zpp";
inline constexpr char kFormatPassName[] = "Pass%d-%d";
inline constexpr char kStreamQltFaders[] = "QLT FADERS";
inline constexpr char kFileRackConfig[] = "Rack Config.dta";
inline constexpr char kStreamDeskAutomation[] = "Automation";
inline constexpr char kStreamValidator[] = "Validator";
inline constexpr char kStreamDeskState[] = "Desk state";
inline constexpr char kStreamVersionNo[] = "Version No";
inline constexpr char kStreamLiveVersion[] = "LiveVersion";
inline constexpr char kStreamPathsNotToAllocate[] = "Paths not to Allocate";
inline constexpr char kStreamChannelMap[] = "Channel Map";
inline constexpr char kStreamChanged[] = "Changed";
inline constexpr char kStreamVersion[] = "Version";
inline constexpr char kStreamExternalsBreakdown[] = "Externals Breakdown";
inline constexpr char kStreamValues[] = "Values";
inline constexpr char kStreamOldValues[] = "Old Values";
inline constexpr char kStreamRoutes[] = "Routes";
inline constexpr char kStreamIORackPort[] = "I/O Rack/Port";
inline constexpr char kStreamIONumber[] = "I/O Number";
inline constexpr char kStreamRackPortNumber[] = "Rack Port Number";
inline constexpr char kStreamIONumberSpaced[] = "I O Number";
inline constexpr char kStreamIORackPortSpaced[] = "I O Rack Port";
inline constexpr char kStreamIORackPortB[] = "I/O Rack/Port B";
inline constexpr char kStreamIONumberB[] = "I/O Number B";
inline constexpr char kStreamMeterScales[] = "Meter scales";
inline constexpr char kStreamMeterScalesPath[] = "Meter scales path";
inline constexpr char kStreamUseMicInput[] = "Use mic input";
inline constexpr char kStreamMicLineTrim[] = "Mic line trim";
inline constexpr char kStreamAssignProcess[] = "Assign Process";
inline constexpr char kStreamAssignPage[] = "Assign Page";
inline constexpr char kStreamLocking[] = "Locking";
inline constexpr char kStreamCurrentLayer[] = "Current Layer";
inline constexpr char kStreamMonitor[] = "Monitor";
inline constexpr char kStreamToneMatrix[] = "Tone matrix";
inline constexpr char kStreamLsSel[] = "Ls sel";
inline constexpr char kStreamCallMap[] = "Call map";
inline constexpr char kStreamMatrixMeter[] = "Matrix Meter";
inline constexpr char kStreamRackAndPort[] = "Rack And Port";
inline constexpr char kStreamPortAB[] = "Port A/B";
inline constexpr char kStreamPortABData[] = "Port A/B Data";
inline constexpr char kStreamNumbers[] = "Numbers";
inline constexpr char kStreamGangs[] = "Gangs";
inline constexpr char kStreamNslaves[] = "Nslaves";
inline constexpr char kStreamNewSlaves[] = "New Slaves";
inline constexpr char kStreamSlavedTo[] = "Slaved to";
inline constexpr char kStreamOffsets[] = "Offsets";
inline constexpr char kStreamSolo[] = "Solo";
inline constexpr char kStreamSurround[] = "Surround";
inline constexpr char kStreamIntelligentSurrPanSelect[] = "Intelligent surr pan select";
inline constexpr char kStreamBankpath[] = "Bankpath";
inline constexpr char kStreamBankup[] = "Bankup";
inline constexpr char kStreamLatentRtes[] = "Latent rtes";
inline constexpr char kStreamExternRtes[] = "Extern rtes";
inline constexpr char kStreamBankState[] = "Bank state";
inline constexpr char kStreamMachState[] = "Mach state";
inline constexpr char kStreamSavedBankState[] = "Saved Bank state";
inline constexpr char kStreamSavedMachState[] = "Saved Mach state";
inline constexpr char kStreamRestState[] = "Rest state";
inline constexpr char kStreamSundries[] = "Sundries";
inline constexpr char kStreamSpeakerPaths[] = "Speaker paths";
inline constexpr char kStreamSpeakerPresent[] = "Speaker present";
inline constexpr char kStreamBTMaster[] = "BT master";
inline constexpr char kStreamBTGroup[] = "BT group";
inline constexpr char kStreamRecGroup[] = "Rec group";
inline constexpr char kStreamSafeGroup[] = "Safe group";
inline constexpr char kStreamLinkStatus[] = "Link status";
inline constexpr char kStreamSafeStatus[] = "Safe status";
inline constexpr char kStreamL2FStemSelection[] = "L2F.stem.selection";
inline constexpr char kStreamFMDI[] = "FMDI";
inline constexpr char kStreamRPN[] = "RPN";
inline constexpr char kStreamInsParams[] = "Ins Params";
inline constexpr char kStreamState[] = "State";
inline constexpr char kStreamModes[] = "Modes";
inline constexpr char kStreamModesCtrls[] = "Ctrls";
inline constexpr char kStreamModesRtes[] = "Rtes";
inline constexpr char kStreamTouchModes[] = "Touch Modes";
inline constexpr char kStreamTouchModesCtrls[] = "Ctrls";
inline constexpr char kStreamTouchModesRtes[] = "Rtes";
inline constexpr char kStreamGroup3[] = "";
inline constexpr char kStreamGroup3Ctrls[] = "Ctrls";
inline constexpr char kStreamGroup3Rtes[] = "Rtes";
inline constexpr char kStreamGroup4[] = "";
inline constexpr char kStreamGroup4Ctrls[] = "Ctrls";
inline constexpr char kStreamGroup4Rtes[] = "Rtes";
inline constexpr char kStreamGroup5[] = "";
inline constexpr char kStreamGroup5Ctrls[] = "Ctrls";
inline constexpr char kStreamGroup5Rtes[] = "Rtes";
inline constexpr char kStreamGroup6[] = "";
inline constexpr char kStreamGroup6Ctrls[] = "Ctrls";
inline constexpr char kStreamGroup6Rtes[] = "Rtes";
inline constexpr char kStreamIOQltFaders[] = "QLT FADERS";
inline constexpr char kStreamIODefinitions[] = "IO Definitions";
inline constexpr char kStreamPortGroupDefinitions[] = "Port Group Definitions";
inline constexpr char kStreamTessaractPresent[] = "Tessaract Present";
inline constexpr char kFolderTmpMixSetup[] = "c:\\tmp\\mix setup";
inline constexpr char kStreamQltTurbo[] = "QLT TURBO";
inline constexpr char kFolderIOConfig[] = "\\cantle\\IO Config";
inline constexpr char kFolderAESConfig[] = "\\cantle\\AES Config";
inline constexpr char kFolderGPIConfig[] = "\\cantle\\GPI Config";
inline constexpr char kFolderDeskSetupLabels[] = "\\cantle\\Desk Setup Labels";
inline constexpr char kFolderOfflineDeskSetups[] = "\\cantle\\Offline Desk Setups";
inline constexpr char kFolderRecallFiles[] = "\\cantle\\Recall Files";
inline constexpr char kExtRecall[] = ".rcl";
inline constexpr char kExtDeskSetup[] = ".dsf";
inline constexpr char kStreamSRCConfig[] = "SRC Config";
inline constexpr char kStreamInputConfig[] = "Input Config";
inline constexpr char kStreamOutputConfig[] = "Output Config";
inline constexpr char kStreamConfiguration[] = "Configuration";
inline constexpr char kFolderMeterDesigns[] = "\\cantle\\Meter Designs";
inline constexpr char kFolderDefaultValues[] = "\\cantle\\Default Values";
inline constexpr char kFolderSurroundMacros[] = "\\cantle\\Surround Macros";
inline constexpr char kStreamL2F[] = "L2F";
inline constexpr char kStreamPreDubs[] = "Pre Dubs";
inline constexpr char kStreamNewPreDubs[] = "New Pre Dubs";
inline constexpr char kStreamPaths[] = "Paths";
inline constexpr char kStreamNames[] = "Names";
inline constexpr char kStreamPreDubZones[] = "Pre Dub Zones";
inline constexpr char kStreamOrder[] = "Order";
inline constexpr char kStreamSurroundFiling[] = "Surround Filing";
inline constexpr char kStreamRoutingTemplates[] = "Routing Templates";
inline constexpr char kStreamUserControlDefaults[] = "User Control Defaults";
inline constexpr char kStreamUserAuxRouteDefaults[] = "User Aux Route Defaults";
inline constexpr char kStreamLayerBreakdown[] = "Layer Breakdown";
inline constexpr char kStreamPriority[] = "Priority";
inline constexpr char kStreamControls[] = "Controls";
inline constexpr char kStreamTemplate[] = "Template";
inline constexpr char kStreamName[] = "Name";
inline constexpr char kStreamLinking[] = "Linking";
inline constexpr char kStreamPathLinking[] = "Path linking";
inline constexpr char kStreamControlLinking[] = "Control linking";
inline constexpr char kStreamRouteLinking[] = "Route linking";
inline constexpr char kStreamDynamicsLinking[] = "Dynamics linking";
inline constexpr char kStreamSnapshots[] = "Snapshots";
inline constexpr char kStreamPathMap[] = "Path Map";
inline constexpr char kStreamActiveCtrl[] = "Active Ctrl";
inline constexpr char kStreamArmedCtrl[] = "Armed Ctrl";
inline constexpr char kStreamActiveRtes[] = "Active Rtes";
inline constexpr char kStreamArmedRtes[] = "Armed Rtes";
inline constexpr char kExtTree[] = ".tree";
inline constexpr char kExtAutomation[] = ".aut";
inline constexpr char kFileMixPassTree[] = "MixPass.tree";
inline constexpr char kRegKeyMeterDesigner[] = "SOFTWARE\\Vok Dwen\\Meter Designer";
inline constexpr char kRegKeySnapShots[] = "SOFTWARE\\Vok Dwen\\SnapShots";
inline constexpr char kRegKeyIOManager[] = "SOFTWARE\\Vok Dwen\\IO Manager";
inline constexpr char kRegKeyDeskDefaultValues[] = "SOFTWARE\\Vok Dwen\\Desk Default Values";
inline constexpr char kRegKeyServerConfiguration[] = "SOFTWARE\\VOKDWEN\\KIVSERVER\\Configuration";
inline constexpr char kStreamIOSRuntimeDebug[] = "IOS RUNTIME DEBUG";
inline constexpr char kStreamReportsDump[] = "Reports dump";
inline constexpr char kStreamSpsPrompt[] = "SPS> ";
inline constexpr char kStreamAuxLookup[] = "Aux lookup";
inline constexpr char kStreamAuxLayout[] = "Aux layout";
inline constexpr char kStreamFilmIndex[] = "Film Index";
inline constexpr char kFormatPreference[] = "Preference%3d";
inline constexpr char kRegValuePreferenceArea[] = "PrefereceArea";
inline constexpr char kRegValueSampleRatePref[] = "SampleRatePref";
inline constexpr char kRegValueSampleRateTolerancePref[] = "SampleRateTolerancePref";
inline constexpr char kRegValueSampleRate96K[] = "SampleRate96K";
inline constexpr char kRegValueRequestedSyncSourcePref[] = "RequestedSyncSourcePref";
inline constexpr char kRegValueRequestedPullDownPref[] = "RequestedPullDownPref";
inline constexpr char kRegValueSampleRate[] = "sample rate";
inline constexpr char kRegValueSyncSource[] = "Sync source";
inline constexpr char kRegValueRollBackTime[] = "Roll Back Time";
inline constexpr char kRegValueShuttleSpeed1[] = "Shuttle Speed 1";
inline constexpr char kRegValueShuttleSpeed2[] = "Shuttle Speed 2";
inline constexpr char kRegValueShuttleSpeed3[] = "Shuttle Speed 3";
inline constexpr char kRegValueShuttleSelected[] = "Shuttle Selected";
inline constexpr char kRegValuePreRollTime[] = "Pre Roll Time";
inline constexpr char kRegValueUsePreRollTime[] = "Use Pre Roll Time";
inline constexpr char kRegValuePostRollTime[] = "Post Roll Time";
inline constexpr char kRegValueUsePostRollTime[] = "Use Post Roll Time";
inline constexpr char kRegValueAutomationInhibit[] = "Automation inhibit";
inline constexpr char kRegValueRewindLimitStart[] = "Rewind Limit Start";
inline constexpr char kRegValueRewindLimitEnd[] = "Rewind Limit End";
inline constexpr char kRegValueUseRewindLimitEnd[] = "Use RewindLimitEnd";
inline constexpr char kRegValueUseRewindLimitStart[] = "Use RewindLimitStart";
inline constexpr char kFormatMcsProtocols[] = "Mcs Protocols%3d";
inline constexpr char kRegKeyMCS[] = "Software\\VOKDWEN\\Vok Dwen Cantle\\MCS";
inline constexpr char kRegKeyPreferenceArea[] = "Software\\VokSettings\\KIVServer\\PrefereceArea";
inline constexpr char kRegValueAllowRecordToVideoTracks[] = "Allow record to Video and timecode Tracks";
inline constexpr char kRegKeyVokSettingsServer[] = "Software\\VokSettings\\KIVServer";
inline constexpr char kStreamRealFoldName[] = "Real Fold Name";
inline constexpr char kStreamNote[] = "Note";
inline constexpr char kStreamData[] = "Data";
inline constexpr char kStreamConvertedData[] = "Converted Data";
inline constexpr char kStreamContentsCache[] = "ContentsCache";
inline constexpr char kStreamTranslationMap[] = "Translation Map";
inline constexpr char kStreamEqIndexToPath[] = "Eq index.to.path";
inline constexpr char kFileDeskLayout[] = "DeskLyt.Dat";
inline constexpr char kFileCalibration[] = "calibration.dat";
inline constexpr char kStreamTechDeskSetups[] = "__TECH_DESK_SETUPS__";
inline constexpr char kStreamStudioDeskSetups[] = "__STUDIO_DESK_SETUPS__";
inline constexpr char kFolderEDLFiles[] = "\\cantle\\EDL Files";
inline constexpr char kExtChangeList[] = ".cnl";
inline constexpr char kExtEnv[] = ".env";
inline constexpr char kExtCutList[] = ".cut";
inline constexpr char kExtBlank[] = ".BLANK";
inline constexpr char kExtEDL[] = ".edl";
inline constexpr char kExtText[] = ".txt";
inline constexpr char kFilterSeparator[] = "|";
inline constexpr char kStreamLastKnownFiles[] = "Last Known Files";
inline constexpr char kStreamIOConfig[] = "IO Config";
inline constexpr char kStreamGPIConfig[] = "GPI Config";
inline constexpr char kStreamAESConfig[] = "AES Config";
inline constexpr char kStreamCopyBuffer[] = "Copy Buffer";
inline constexpr char kFolderAutomationExtracts[] = "\\cantle\\Automation Extracts";
inline constexpr char kStreamMixMinusGroups[] = "Mix Minus Groups";
inline constexpr char kStreamMixMinusOutputs[] = "Mix Minus Outputs";
inline constexpr char kStreamBankNames[] = "Bank Names";
inline constexpr char kStreamLayerNames[] = "Layer Names";
inline constexpr char kStreamPanLaw[] = "Pan Law";
inline constexpr char kStreamBufferNames[] = "Buffer Names";
inline constexpr char kFolderCopyBufferFiles[] = "\\cantle\\Copy Buffer Files";
inline constexpr char kFolderSurroundK7Configs[] = "\\cantle\\SurroundK7 Configs";
inline constexpr char kStreamQuadmadiPortConfig[] = "Quadmadi Port Config";
inline constexpr char kStreamPortConfig[] = "Port Config";
inline constexpr char kStreamMonitorPorts[] = "Monitor Ports";
inline constexpr char kStreamPathToEngine[] = "Path To Engine";
inline constexpr char kStreamSnapshotSet[] = "Snapshots";
inline constexpr char kStreamSnapshotControls[] = "Controls";
inline constexpr char kStreamSnapshotRoutes[] = "Routes";
inline constexpr char kStreamSnapshotTemplate[] = "Template";
inline constexpr char kStreamSnapshotValid[] = "Valid";
inline constexpr char kStreamSnapshotNames[] = "Names";
inline constexpr char kStreamTftMeterConfiguration[] = "TFT Meter Configuration";
inline constexpr auto kTftMeterConfigurationPathText =
    console_names_detail::JoinWithBackslashes(kStreamConfiguration, kStreamTftMeterConfiguration);
/// "Configuration\\TFT Meter Configuration\\", composed of the two names above.
inline constexpr const char* kStreamTftMeterConfigurationPath = kTftMeterConfigurationPathText.data();
inline constexpr char kFolderConsole[] = "\\cantle\\_Console_";
inline constexpr char kFolderConsoleTemp[] = "\\cantle\\ConsoleTemp";
inline constexpr char kFolderOldConsole[] = "\\cantle\\OldConsole";
inline constexpr char kFolderIncompleteConsoleTransfer[] = "\\cantle\\Incomplete Console Transfer";
inline constexpr char kFolderRelayControls[] = "Cantle\\Relay Controls\\";
inline constexpr char kFileDefaultRelayControls[] = "_Default.rcc";
inline constexpr char kExtRelayControls[] = ".rcc";
inline constexpr char kFilterRelayControls[] = "Relay Control Commands (*.rcc)|*.rcc|All Files (*.*)|*.*||";
inline constexpr char kFolderHelp[] = "Cantle\\Help\\";
inline constexpr char kExtHelp[] = ".hlp";
inline constexpr char kExtPdf[] = ".pdf";
inline constexpr char kFilterHelp[] = "Portable Document Format (*.pdf)|*.pdf|Help File (*.hlp)|*.hlp||";

/// The number of names, and each by its position in the console software's list (254 composed,
/// 108, 111, 114 and 117 empty). Any other position gives an empty text.
inline constexpr int kConsoleNameCount = 267;
const char* GetConsoleName(int position);

