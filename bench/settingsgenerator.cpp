#include "bench/settingsgenerator.h"

#include <QHash>
#include <QStringList>

#include <functional>

using namespace Qt::StringLiterals;

namespace pfw {

namespace {

// PixInsight's documented global variables: group, then "name type [RO]" entries.
struct GlobalGroup
{
    const char *name;
    const char *variables;
};

const GlobalGroup kGlobals[] = {
    {"Application",
     "AppDirectory s RO,AsteroidEphemeridesFile s,AsteroidEphemeridesFilePath s RO,AutoSaveSettingsPeriod i,"
     "AutoUIScaling b,BaseDirectory s RO,BinDirectory s RO,CIP_ITRSDataFile s,CIP_ITRSDataFilePath s RO,"
     "ColorDirectory s RO,CompressSettingsBlocks b,ConfigDirectory s RO,CoreDirectory s RO,CoreFilePath s RO,"
     "DeltaATDataFile s,DeltaATDataFilePath s RO,DeltaTDataFile s,DeltaTDataFilePath s RO,DocDirectory s RO,"
     "EtcDirectory s RO,FiltersDatabaseFile s,FiltersDatabaseFilePath s RO,FontResolution i,"
     "FundamentalEphemeridesFile s,FundamentalEphemeridesFilePath s RO,HealRegistryInformationOnUpdates b,"
     "HighResFont s,HighResMonoFont s,IncludeDirectory s RO,Instance i,LibDirectory s RO,LibraryDirectory s RO,"
     "LowResFont s,LowResMonoFont s,MessageBoxOkCancelButtonOrder i,MessageBoxYesNoButtonOrder i,"
     "MinifySettingsXML b,NutationModelFile s,NutationModelFilePath s RO,ResourceFile01 s,ResourceFile02 s,"
     "ResourceFile03 s,ResourceFile04 s,ResourceFile05 s,ResourceFile06 s,ResourceFile07 s,ResourceFile08 s,"
     "ResourceFile09 s,ResourceFile10 s,RscDirectory s RO,ShortTermAsteroidEphemeridesFile s,"
     "ShortTermAsteroidEphemeridesFilePath s RO,ShortTermFundamentalEphemeridesFile s,"
     "ShortTermFundamentalEphemeridesFilePath s RO,ShortTermNutationModelFile s,"
     "ShortTermNutationModelFilePath s RO,SrcDirectory s RO,StartJD F RO,StartTime s RO,StyleSheetFile s,"
     "SurfaceSwapInterval i RO,UIScalingFactor F,WhiteReferencesDatabaseFile s,"
     "WhiteReferencesDatabaseFilePath s RO"},
    {"ColorManagement",
     "DefaultEmbedProfilesInGrayscaleImages b,DefaultEmbedProfilesInRGBImages b,DefaultGamutCheckEnabled b,"
     "DefaultGrayscaleProfilePath s,DefaultProofingEnabled b,DefaultRGBProfilePath s,DefaultRenderingIntent i,"
     "GamutWarningColor u,IsEnabled b,IsValid b RO,MonitorProfilePath s RO,OnMissingProfile i,"
     "OnProfileMismatch i,ProofingIntent i,ProofingProfilePath s,UpdateMonitorProfile s RO,"
     "UseLowResolutionCLUTs b,UseProofingBPC b"},
    {"FileFormat", "ReadFilters s RO,WriteFilters s RO"},
    {"ImageContainerIcon", "Prefix s"},
    {"ImageWindow",
     "BackupFiles b,ClonePostfix s,CreatePreviewsFromCoreProperties b,CursorTolerance i,Default24BitScreenLUT b,"
     "DefaultEmbedProperties b,DefaultEmbedThumbnails b,DefaultFileExtension s,DefaultHorizontalResolution F,"
     "DefaultMaskMode i,DefaultMasksShown b,DefaultMetricResolution b,DefaultTransparencyMode i,"
     "DefaultVerticalResolution F,DownloadsDirectory s,FastScreenRenditionThreshold i,FastScreenRenditions b,"
     "FileFormatWarnings b,FollowDownloadLocations b,HighDPIRenditions b,ImageThumbnailSize i,"
     "LoadAstrometricSolutions b,LoadInitialProcessingFromCoreProperties b,MeasureScreenRenderingPerformance b,"
     "NativeFileDialogs b,NewImageCaption s,PinchSensitivity F,Prefix s,ProjectThumbnailSize i,"
     "ProjectVerifyIncrementalChecksums b,ProxyURL s,RememberFileOpenType b,RememberFileSaveType b,"
     "ShowActiveSTFIndicators b,ShowCaptionCurrentChannels b,ShowCaptionFullPaths b,ShowCaptionIdentifiers b,"
     "ShowCaptionZoomRatios b,ShowSynchronizationIndicators b,ShowSynchronizationVectors b,"
     "ShowViewSelectorImageThumbnails b,StrictFileSaveMode b,SwapCompression b,TouchEvents b,"
     "UseFileNamesAsImageIdentifiers b,VerboseNetworkOperations b,WheelDirection i,WheelStepAngle u,"
     "ZoomAtCursor b"},
    {"MainWindow",
     "AcceptDroppedFiles b,ActiveWindowOpacity F,AnimateCombo b,AnimateMenu b,AnimateToolBox b,AnimateToolTip b,"
     "AnimateWindows b,AutoHideWindowOpacity F,CapitalizedMenuBars b,CheckForUpdatesAtStartup b,"
     "ConfirmProgramTermination b,DesktopSettingsAware b,DoubleClickLaunchesOpenDialog b,DropShadowBlurRadius F,"
     "DropShadowChildWindows b,DropShadowColor u,DropShadowIcons b,ExpandFavoritesAtStartup b,"
     "ExpandMostUsedAtStartup b,ExpandRecentlyUsedAtStartup b,ExplodeIcons b,FadeAutoHideWindows b,FadeMenu b,"
     "FadeToolTip b,FadeWindows b,FadeWorkspaces b,FullScreenAtStartup b,HighQualityWallpapers b,"
     "HoverableAutoHideWindows b,ImplodeIcons b,InactiveChildWindowOpacity F,InactiveWindowOpacity F,"
     "MaxRecentFiles i,MaximizeAtStartup b,MovingChildWindowOpacity F,MovingWindowOpacity F,NativeMenuBar b,"
     "OpenResourcesOnNewWebBrowserWindows b,OpenURLsWithInternalBrowser b,PrivateWebBrowsingMode b,"
     "ShowFavorites b,ShowMostUsed b,ShowRecentlyUsed b,ShowSplashAtStartup b,ShowViewListImageThumbnails b,"
     "ShowWorkspaceThumbnails b,TranslucentAutoHideWindows b,TranslucentChildWindows b,TranslucentWindows b,"
     "UseWallpapers b,WallpaperFile01 s,WallpaperFile02 s,WallpaperFile03 s,WallpaperFile04 s,"
     "WallpaperFile05 s,WallpaperFile06 s,WallpaperFile07 s,WallpaperFile08 s,WallpaperFile09 s,"
     "WallpaperFile10 s,WindowButtonsOnTheLeft b"},
    {"Preview", "Prefix s"},
    {"Process",
     "AlertOnProcessCompleted b,AutoSavePSMPeriod i,BackupFiles b,ConsoleCommandTruncationLimit i,ConsoleDelay i,"
     "EnableCUDAAcceleration b,EnableExecutionStatistics b,EnableLaunchStatistics b,"
     "EnableParallelCoreColorManagement b,EnableParallelCoreRendering b,EnableParallelModuleProcessing b,"
     "EnableParallelProcessing b,EnableThreadCPUAffinity b,GenerateScriptComments b,InitCUDARuntimeAtStartup b,"
     "MaxConsoleLines i,MaxFileReadThreads i,MaxFileWriteThreads i,MaxModuleThreadPriority i,MaxProcessors i,"
     "MaxUsageListLength i,PerformMallocTrimCalls i,VerifyScriptChecksums b"},
    {"ProcessIcon", "Prefix s"},
    {"ScriptIcon", "Prefix s"},
    {"Security",
     "AllowInsecureRepositories b,AllowUnsignedModuleInstallation b,AllowUnsignedRepositories b,"
     "AllowUnsignedScriptExecution b,EnableLocalSigningIdentity b,ReportModuleSignatures b,"
     "ReportScriptSignatures b,WarnOnUnsignedCodeExecution b"},
    {"System", "NumberOfProcessors i RO"},
    {"TransparencyBrush", "BackgroundColor u,Brush i,DefaultColor u,ForegroundColor u"},
    {"View", "BrokenLinkText s"},
    {"ViewList", "NoPreviewSelectedText s,NoPreviewsAvailableText s,NoViewSelectedText s,NoViewsAvailableText s"},
    {"Workspace", "IconGridSpacing i,Prefix s,PrimaryScreenCenterX i RO,PrimaryScreenCenterY i RO"},
};

// Groups that live directly below Global/Preferences; the rest sit directly below Global.
const char *const kPreferenceGroups[]
    = {"Application", "MainWindow", "ImageWindow", "Process", "Security", "Workspace", "TransparencyBrush"};

const char kInstall[] = "C:/Program Files/PixInsight";

// Values that make the demo look like a real installation; the rest follow the type.
QString knownValue(const QString &id)
{
    static const QHash<QString, QString> known = {
        {u"Application/AppDirectory"_s, u""_s},
        {u"Application/AutoSaveSettingsPeriod"_s, u"30"_s},
        {u"Application/FontResolution"_s, u"100"_s},
        {u"Application/Instance"_s, u"1"_s},
        {u"Application/HighResFont"_s, u"DejaVu Sans"_s},
        {u"Application/HighResMonoFont"_s, u"DejaVu Sans Mono"_s},
        {u"Application/LowResFont"_s, u"Open Sans"_s},
        {u"Application/LowResMonoFont"_s, u"Hack"_s},
        {u"Application/StartJD"_s, u"2461382.5312"_s},
        {u"Application/StartTime"_s, u"2026-11-30T21:45:02.113Z"_s},
        {u"Application/SurfaceSwapInterval"_s, u"1"_s},
        {u"Application/UIScalingFactor"_s, u"1.25"_s},
        {u"Application/StyleSheetFile"_s, u"@pxi_rsc_dir/style/pixinsight-core.qss"_s},
        {u"Application/ResourceFile01"_s, u"@pxi_rsc_dir/rsc/pixinsight-core.rcc"_s},
        {u"Application/ResourceFile02"_s, u"@pxi_rsc_dir/rsc/pixinsight-icons.rcc"_s},
        {u"ColorManagement/DefaultRGBProfilePath"_s, u"C:/Program Files/PixInsight/library/sRGB IEC61966-2.1.icc"_s},
        {u"ColorManagement/DefaultGrayscaleProfilePath"_s, u"C:/Program Files/PixInsight/library/sGray.icc"_s},
        {u"ColorManagement/MonitorProfilePath"_s,
         u"C:/Windows/System32/spool/drivers/color/sRGB Color Space Profile.icm"_s},
        {u"ColorManagement/DefaultRenderingIntent"_s, u"0"_s},
        {u"ColorManagement/ProofingIntent"_s, u"3"_s},
        {u"ColorManagement/OnMissingProfile"_s, u"1"_s},
        {u"ColorManagement/OnProfileMismatch"_s, u"2"_s},
        {u"ColorManagement/GamutWarningColor"_s, u"4294902015"_s},
        {u"FileFormat/ReadFilters"_s, u"FITS Files (*.fit *.fits *.fts);;XISF Files (*.xisf)"_s},
        {u"FileFormat/WriteFilters"_s, u"XISF Files (*.xisf);;FITS Files (*.fit *.fits *.fts)"_s},
        {u"ImageContainerIcon/Prefix"_s, u"container"_s},
        {u"ImageWindow/ClonePostfix"_s, u"_clone"_s},
        {u"ImageWindow/CursorTolerance"_s, u"3"_s},
        {u"ImageWindow/DefaultFileExtension"_s, u".xisf"_s},
        {u"ImageWindow/DefaultHorizontalResolution"_s, u"72"_s},
        {u"ImageWindow/DefaultVerticalResolution"_s, u"72"_s},
        {u"ImageWindow/DefaultMaskMode"_s, u"2"_s},
        {u"ImageWindow/DefaultTransparencyMode"_s, u"1"_s},
        {u"ImageWindow/DownloadsDirectory"_s, u"C:/Users/Astro/Downloads/PixInsight"_s},
        {u"ImageWindow/FastScreenRenditionThreshold"_s, u"8"_s},
        {u"ImageWindow/ImageThumbnailSize"_s, u"100"_s},
        {u"ImageWindow/NewImageCaption"_s, u"Image"_s},
        {u"ImageWindow/PinchSensitivity"_s, u"0.025"_s},
        {u"ImageWindow/Prefix"_s, u"Image"_s},
        {u"ImageWindow/ProjectThumbnailSize"_s, u"256"_s},
        {u"ImageWindow/WheelDirection"_s, u"1"_s},
        {u"ImageWindow/WheelStepAngle"_s, u"15"_s},
        {u"MainWindow/ActiveWindowOpacity"_s, u"1"_s},
        {u"MainWindow/AutoHideWindowOpacity"_s, u"0.85"_s},
        {u"MainWindow/DropShadowBlurRadius"_s, u"8"_s},
        {u"MainWindow/DropShadowColor"_s, u"2147483648"_s},
        {u"MainWindow/InactiveChildWindowOpacity"_s, u"0.8"_s},
        {u"MainWindow/InactiveWindowOpacity"_s, u"0.75"_s},
        {u"MainWindow/MaxRecentFiles"_s, u"32"_s},
        {u"MainWindow/MovingChildWindowOpacity"_s, u"0.6"_s},
        {u"MainWindow/MovingWindowOpacity"_s, u"0.7"_s},
        {u"MainWindow/WallpaperFile01"_s, u"@pxi_rsc_dir/wallpapers/m42.jpg"_s},
        {u"Preview/Prefix"_s, u"Preview"_s},
        {u"Process/AutoSavePSMPeriod"_s, u"15"_s},
        {u"Process/ConsoleCommandTruncationLimit"_s, u"2048"_s},
        {u"Process/ConsoleDelay"_s, u"200"_s},
        {u"Process/MaxConsoleLines"_s, u"20000"_s},
        {u"Process/MaxFileReadThreads"_s, u"4"_s},
        {u"Process/MaxFileWriteThreads"_s, u"2"_s},
        {u"Process/MaxModuleThreadPriority"_s, u"4"_s},
        {u"Process/MaxProcessors"_s, u"64"_s},
        {u"Process/MaxUsageListLength"_s, u"8"_s},
        {u"Process/PerformMallocTrimCalls"_s, u"1"_s},
        {u"ProcessIcon/Prefix"_s, u"Process"_s},
        {u"ScriptIcon/Prefix"_s, u"Script"_s},
        {u"Security/AllowUnsignedScriptExecution"_s, u"true"_s},
        {u"System/NumberOfProcessors"_s, u"16"_s},
        {u"TransparencyBrush/BackgroundColor"_s, u"4282400832"_s},
        {u"TransparencyBrush/Brush"_s, u"4"_s},
        {u"TransparencyBrush/DefaultColor"_s, u"4278190080"_s},
        {u"TransparencyBrush/ForegroundColor"_s, u"4286611584"_s},
        {u"View/BrokenLinkText"_s, u"<* broken link *>"_s},
        {u"ViewList/NoPreviewSelectedText"_s, u"<No Preview Selected>"_s},
        {u"ViewList/NoPreviewsAvailableText"_s, u"<No Previews Available>"_s},
        {u"ViewList/NoViewSelectedText"_s, u"<No View Selected>"_s},
        {u"ViewList/NoViewsAvailableText"_s, u"<No Views Available>"_s},
        {u"Workspace/IconGridSpacing"_s, u"16"_s},
        {u"Workspace/Prefix"_s, u"Workspace"_s},
        {u"Workspace/PrimaryScreenCenterX"_s, u"1280"_s},
        {u"Workspace/PrimaryScreenCenterY"_s, u"720"_s},
    };
    return known.value(id);
}

QString defaultValue(const QString &group, const QString &name, QChar type)
{
    const QString id = group + u'/' + name;
    const QString known = knownValue(id);
    if (!known.isEmpty() || id == u"Application/AppDirectory"_s)
        return known;
    switch (type.unicode()) {
    case u'b': {
        static const QStringList onByDefault
            = {u"Show"_s,   u"Enable"_s, u"Animate"_s, u"Fade"_s,   u"Report"_s, u"Warn"_s, u"Remember"_s,
               u"Verify"_s, u"Is"_s,     u"Default"_s, u"Backup"_s, u"Accept"_s, u"Use"_s,  u"Check"_s};
        for (const QString &prefix : onByDefault) {
            if (name.startsWith(prefix))
                return u"true"_s;
        }
        return u"false"_s;
    }
    case u'i':
    case u'u':
        return u"0"_s;
    case u'F':
        return u"1"_s;
    default:
        break;
    }
    if (name.endsWith(u"Directory"_s)) {
        const QString stem = name.chopped(int(qstrlen("Directory")));
        return QLatin1String(kInstall) + u'/' + stem.toLower();
    }
    if (name.endsWith(u"FilePath"_s)) {
        const QString stem = name.chopped(int(qstrlen("FilePath")));
        return QLatin1String(kInstall) + u"/library/"_s + stem + u".bin"_s;
    }
    return QString();
}

QString escape(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out += u"&quot;"_s;
            break;
        case u'&':
            out += u"&amp;"_s;
            break;
        case u'\'':
            out += u"&apos;"_s;
            break;
        case u'<':
            out += u"&lt;"_s;
            break;
        case u'>':
            out += u"&gt;"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Compact XML in PixInsight's layout; only what the generator needs.
class Writer final
{
public:
    void open(const QString &key) { m_out += u"<i k=\""_s + escape(key) + u"\">"_s; }
    void close() { m_out += u"</i>"_s; }
    void empty(const QString &key) { m_out += u"<i k=\""_s + escape(key) + u"\"/>"_s; }
    void value(const QString &key, char type, const QString &text)
    {
        m_out
            += u"<v k=\""_s + escape(key) + u"\" t=\""_s + QLatin1Char(type) + u"\" v=\""_s + escape(text) + u"\"/>"_s;
    }
    void text(const QString &key, char type, const QString &text)
    {
        m_out += u"<v k=\""_s + escape(key) + u"\" t=\""_s + QLatin1Char(type) + u"\">"_s + escape(text) + u"</v>"_s;
    }
    void raw(const QString &text) { m_out += text; }
    qsizetype size() const { return m_out.size(); }
    QString &text() { return m_out; }

private:
    QString m_out;
};

class Random final
{
public:
    explicit Random(quint32 seed)
        : m_state(seed * 2654435761u + 0x9e3779b9u)
    {
    }
    quint32 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int below(int n) { return int(next() % quint32(n)); }

private:
    quint32 m_state;
};

QString base64Text(Random &random, int length)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    QString out;
    out.reserve(length + 2);
    for (int i = 0; i < length; ++i)
        out += QLatin1Char(alphabet[random.below(64)]);
    return out;
}

// A compressed block as PixInsight stores it: one or more s elements with their sizes.
void compressedBlock(Writer &w, const QString &key, Random &random, int blocks, int length)
{
    w.raw(u"<v k=\""_s + escape(key) + u"\" t=\"B\" c=\"zlib\">"_s);
    for (int b = 0; b < blocks; ++b) {
        const int chars = length / blocks / 4 * 4;
        w.raw(u"<s u=\""_s + QString::number(chars * 3 / 4 * 3 + random.below(100)) + u"\">"_s
              + base64Text(random, chars) + u"</s>"_s);
    }
    w.raw(u"</v>"_s);
}

void geometry(Writer &w, const QString &interfaceName, Random &random)
{
    w.open(interfaceName);
    w.value(u"Geometry"_s, 's',
            QString::number(40 + random.below(900)) + u',' + QString::number(40 + random.below(500)) + u','
                + QString::number(300 + random.below(400)) + u',' + QString::number(200 + random.below(400)));
    w.close();
}

void globals(Writer &w)
{
    const auto writeGroup = [&w](const GlobalGroup &group) {
        const QString name = QLatin1String(group.name);
        w.open(name);
        for (const QString &entry : QString::fromLatin1(group.variables).split(u',')) {
            const QStringList parts = entry.split(u' ');
            const QChar type = parts.at(1).at(0);
            w.value(parts.at(0), char(type.unicode()), defaultValue(name, parts.at(0), type));
        }
        if (name == u"Application"_s) {
            // Undocumented subgroups, as newer PixInsight versions keep them.
            w.open(u"Startup"_s);
            w.value(u"ShowWhatsNew"_s, 'b', u"true"_s);
            w.value(u"LastStartupScript"_s, 's', u"@pxi_src_dir/scripts/startup.js"_s);
            w.close();
            w.open(u"Console"_s);
            w.value(u"HistoryLength"_s, 'i', u"200"_s);
            w.value(u"WordWrap"_s, 'b', u"false"_s);
            w.close();
        }
        w.close();
    };
    const auto isPreferenceGroup = [](const char *name) {
        for (const char *preference : kPreferenceGroups) {
            if (qstrcmp(preference, name) == 0)
                return true;
        }
        return false;
    };

    w.open(u"Global"_s);
    w.open(u"Preferences"_s);
    for (const GlobalGroup &group : kGlobals) {
        if (isPreferenceGroup(group.name))
            writeGroup(group);
    }
    w.open(u"ScriptEditor"_s);
    w.value(u"FontFace"_s, 's', u"DejaVu Sans Mono"_s);
    w.value(u"FontSize"_s, 'i', u"10"_s);
    w.value(u"TabSize"_s, 'i', u"3"_s);
    w.value(u"ShowLineNumbers"_s, 'b', u"true"_s);
    w.open(u"Cache"_s);
    w.value(u"File01"_s, 's', u"C:/Users/Astro/Documents/scripts/stack-helper.js"_s);
    w.value(u"Cursor01"_s, 'i', u"1842"_s);
    w.close();
    w.close();
    w.open(u"Identifiers"_s);
    w.value(u"DefaultImagePrefix"_s, 's', u"Image"_s);
    w.value(u"DefaultPreviewPrefix"_s, 's', u"Preview"_s);
    w.value(u"UseShortIdentifiers"_s, 'b', u"false"_s);
    w.close();
    w.open(u"GUI"_s);
    w.value(u"ToolTipDelay"_s, 'i', u"700"_s);
    w.value(u"ShowToolTips"_s, 'b', u"true"_s);
    w.value(u"IconSize"_s, 'i', u"24"_s);
    w.close();
    w.open(u"ProcessInterface"_s);
    for (const char *name : {"ImageCalibration", "ImageIntegration", "CurvesTransformation", "MireluxInterface"}) {
        w.open(QLatin1String(name));
        w.value(u"AutoApply"_s, 'b', u"false"_s);
        w.value(u"ExpandedSections"_s, 'u', u"7"_s);
        w.close();
    }
    w.close();
    w.close(); // Preferences

    for (const GlobalGroup &group : kGlobals) {
        if (!isPreferenceGroup(group.name))
            writeGroup(group);
    }
    w.open(u"RGBWorkingSpace"_s);
    w.value(u"Gamma"_s, 'F', u"2.2"_s);
    w.value(u"sRGBGamma"_s, 'b', u"true"_s);
    w.value(u"LuminanceCoefficients"_s, 's', u"0.222491,0.716888,0.060621"_s);
    w.close();
    w.open(u"ReadoutOptions"_s);
    w.value(u"Data"_s, 'i', u"0"_s);
    w.value(u"Mode"_s, 'i', u"0"_s);
    w.value(u"Precision"_s, 'i', u"4"_s);
    w.value(u"ShowAlpha"_s, 'b', u"true"_s);
    w.close();
    w.open(u"FileDialogs"_s);
    w.value(u"OpenDirectory"_s, 's', u"D:/Astro/2026-11-28 M31"_s);
    w.value(u"SaveDirectory"_s, 's', u"D:/Astro/processed"_s);
    w.close();
    w.open(u"Statistics"_s);
    w.open(u"Process"_s);
    for (const char *name : {"ImageCalibration", "ImageIntegration", "CurvesTransformation", "Mirelux"}) {
        w.open(QLatin1String(name));
        w.value(u"LaunchCount"_s, 'u', QString::number(qstrlen(name) * 7));
        w.value(u"ExecutionTime"_s, 'F', QString::number(qstrlen(name) * 3.25));
        w.close();
    }
    w.close();
    w.close();
    w.open(u"UpdateManager"_s);
    w.value(u"LastCheck"_s, 't', u"2026-11-30T21:45:10Z"_s);
    w.value(u"Repositories"_s, 's', u"https://pixinsight.com/update/"_s);
    w.close();
    w.close(); // Global
}

const char *const kRegistered[]
    = {"ImageCalibration", "ImageIntegration", "IntensityTransformations", "Geometry", "ColorCalibration", "Blink",
       "NoiseWeave"};

void modules(Writer &w)
{
    w.open(u"Modules"_s);
    int index = 1;
    for (const char *name : kRegistered) {
        const QString file = QLatin1String(name) + u"-pxm.dll"_s;
        // Newer registries write PixInsight's bin-folder placeholder instead of the full path.
        const QString path = index % 2 ? QLatin1String(kInstall) + u"/bin/"_s + file : u"@pxi_bin_dir/"_s + file;
        w.value(u"Module%1"_s.arg(index++, 2, 10, QLatin1Char('0')), 's', path);
    }
    w.close();
}

void moduleData(Writer &w, Random &random, const std::function<void()> &extraModules)
{
    w.open(u"ModuleData"_s);
    w.open(u"0"_s);
    w.value(u"Version"_s, 'u', u"3"_s);
    w.close();
    w.open(u"ImageCalibration"_s);
    w.value(u"MasterBiasPath"_s, 's', u"D:/Astro/masters/bias-gain100.xisf"_s);
    w.value(u"Pedestal"_s, 'i', u"150"_s);
    w.value(u"OptimizeDarks"_s, 'b', u"true"_s);
    w.open(u"Interfaces"_s);
    geometry(w, u"ImageCalibrationInterface"_s, random);
    w.close();
    w.close();
    w.open(u"ImageIntegration"_s);
    w.value(u"Combination"_s, 'i', u"0"_s);
    w.value(u"RejectionLowSigma"_s, 'f', u"4"_s);
    w.value(u"RejectionHighSigma"_s, 'f', u"3"_s);
    compressedBlock(w, u"FileList"_s, random, 3, 2400);
    w.close();
    w.open(u"Mirelux"_s);
    w.value(u"Strength"_s, 'F', u"0.65"_s);
    w.value(u"Iterations"_s, 'i', u"12"_s);
    w.value(u"ProtectStars"_s, 'b', u"true"_s);
    w.value(u"LastPreset"_s, 's', u"Galaxy \"soft\" & <faint>"_s);
    // Written twice by an old version: both copies are kept.
    w.value(u"LastPreset"_s, 's', u"Nebula"_s);
    w.text(u"Notes"_s, 's', u"First line\nSecond line with 'quotes'\n\tindented"_s);
    compressedBlock(w, u"Model"_s, random, 2, 1600);
    w.open(u"Interfaces"_s);
    geometry(w, u"MireluxInterface"_s, random);
    w.close();
    w.close();
    w.open(u"NoiseWeave"_s);
    w.value(u"Amount"_s, 'f', u"0.5"_s);
    w.value(u"Detail"_s, 'i', u"3"_s);
    w.close();
    if (extraModules)
        extraModules();
    w.close();

    w.open(u"ModuleDataAccess"_s);
    for (const char *name : {"ImageCalibration", "Mirelux"}) {
        w.open(QLatin1String(name));
        w.value(u"LastAccess"_s, 't', u"2026-11-29T22:10:00Z"_s);
        w.close();
    }
    w.close();
}

void topLevel(Writer &w, Random &random)
{
    for (const char *tool : {"StarAlignment", "PixelMath", "HistogramTransformation"}) {
        w.open(QLatin1String(tool));
        w.open(u"Interfaces"_s);
        geometry(w, QLatin1String(tool) + u"Interface"_s, random);
        w.close();
        w.close();
    }
    w.open(u"ScriptData"_s);
    w.open(u"WeightedBatchPreprocessing"_s);
    w.value(u"outputDirectory"_s, 's', u"D:/Astro/wbpp"_s);
    w.value(u"generateRejectionMaps"_s, 'b', u"true"_s);
    compressedBlock(w, u"groups"_s, random, 1, 1200);
    w.close();
    w.close();
    w.open(u"CommandHistory"_s);
    w.value(u"Command01"_s, 's', u"run -x \"C:/scripts/align & stack.js\""_s);
    w.value(u"Command02"_s, 's', u"pixelmath -x \"$T < 0.5 ? $T*2 : 1\""_s);
    w.close();
    w.open(u"MainWindow"_s);
    w.open(u"Geometry"_s);
    w.value(u"X"_s, 'i', u"0"_s);
    w.value(u"Y"_s, 'i', u"0"_s);
    w.value(u"Width"_s, 'i', u"2560"_s);
    w.value(u"Height"_s, 'i', u"1400"_s);
    w.close();
    w.open(u"Workspace"_s);
    w.value(u"Current"_s, 'i', u"1"_s);
    w.close();
    compressedBlock(w, u"Layout"_s, random, 3, 3000);
    w.open(u"RecentFiles"_s);
    w.value(u"File01"_s, 's', u"D:/Astro/processed/M31_final.xisf"_s);
    w.value(u"File02"_s, 's', u"D:/Astro/processed/NGC 7000 – HOO.xisf"_s);
    w.close();
    w.close();
    for (const char *group : {"CentralWidgetClients", "FileExplorer"}) {
        w.open(QLatin1String(group));
        w.value(u"Visible"_s, 'b', u"true"_s);
        w.value(u"Geometry"_s, 's', u"0,0,420,800"_s);
        w.close();
    }
    w.open(u"PixelClipboard"_s);
    w.value(u"Sample"_s, 's', u"0.1234,0.2345,0.3456"_s);
    w.close();
    w.open(u"DontShowAgain"_s);
    w.value(u"ConfirmDeleteIcons"_s, 'b', u"true"_s);
    w.value(u"CloseModifiedImage"_s, 'b', u"true"_s);
    w.close();
    w.empty(u"Favorites"_s);
    w.value(u"LastVersion"_s, 's', u"1.9.3.1203"_s);
    w.value(u"PixInsight"_s, 's', u"PixInsight Core 1.9.3 Lockhart (x64)"_s);
}

void generatedModule(Writer &w, Random &random, int number, int values);

QString documentStart()
{
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\">"_s;
}

QByteArray documentEnd(Writer &w)
{
    w.raw(u"</xsdt>\n"_s);
    return w.text().toUtf8();
}

void demoBody(Writer &w, Random &random, const std::function<void()> &extraModules = {})
{
    globals(w);
    modules(w);
    moduleData(w, random, extraModules);
    topLevel(w, random);
}

// One generated module's data: mostly small values, some strings and a compressed block,
// roughly the mix of real module data.
void generatedModule(Writer &w, Random &random, int number, int values)
{
    static const char *const stems[]
        = {"Amount", "Threshold", "Iterations", "Enabled", "OutputPath", "Scale", "Layers", "Mode", "Preset", "Weight"};
    w.open(u"Gen%1"_s.arg(number, 5, 10, QLatin1Char('0')));
    for (int v = 0; v < values; ++v) {
        const QString key = QLatin1String(stems[v % 10]) + QString::number(v / 10);
        switch (random.below(6)) {
        case 0:
            w.value(key, 'b', random.below(2) ? u"true"_s : u"false"_s);
            break;
        case 1:
            w.value(key, 'i', QString::number(random.below(100000)));
            break;
        case 2:
            w.value(key, 'F', QString::number(random.below(1000000) / 1000.0));
            break;
        case 3:
            w.value(key, 'u', QString::number(random.next()));
            break;
        case 4:
            w.value(key, 's', u"D:/Astro/session-"_s + QString::number(random.below(500)) + u"/frames"_s);
            break;
        default:
            w.text(key, 's', base64Text(random, 40 + random.below(200)));
            break;
        }
    }
    w.open(u"Interfaces"_s);
    geometry(w, u"Gen%1Interface"_s.arg(number, 5, 10, QLatin1Char('0')), random);
    w.close();
    compressedBlock(w, u"State"_s, random, 1 + random.below(3), 800 + random.below(6000));
    w.close();
}

} // namespace

QByteArray SettingsGenerator::demo()
{
    Writer w;
    Random random(7);
    w.raw(documentStart());
    demoBody(w, random);
    return documentEnd(w);
}

QByteArray SettingsGenerator::sized(qsizetype targetBytes, quint32 seed)
{
    Writer w;
    Random random(seed);
    w.text().reserve(targetBytes + 65536);
    w.raw(documentStart());
    demoBody(w, random, [&] {
        // The rest of the document after ModuleData is a few kilobytes.
        for (int number = 1; w.size() < targetBytes - 8192; ++number)
            generatedModule(w, random, number, 30 + random.below(60));
    });
    return documentEnd(w);
}

QByteArray SettingsGenerator::withValues(int valueCount, quint32 seed)
{
    Writer w;
    Random random(seed);
    w.raw(documentStart());
    demoBody(w, random, [&] {
        for (int number = 1, written = 0; written < valueCount; ++number) {
            const int values = qMin(50, valueCount - written);
            generatedModule(w, random, number, values);
            written += values + 2;
        }
    });
    return documentEnd(w);
}

} // namespace pfw
