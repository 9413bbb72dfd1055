#include "app/Configuration.h"

#include <memory>

#include "app/DiagnosticLog.h"
#include "app/ErrorReport.h"
#include "app/StubGlobals.h"
#include "core/XString.h"
#include "io/FileDataSource.h"
#include "io/FileSystem.h"
#include "payload/SignatureArea.h"
#include "resources/StubResources.h"

namespace {

constexpr char kTrueValue[] = "true";
constexpr char kFalseValue[] = "false";

// The executable stays open as the payload's source until the process ends.
std::unique_ptr<FileDataSource> s_executableSource;

bool fail(HWND owner, const char* message) {
    showError(owner, message);
    return false;
}

bool openExecutable(HWND owner) {
    XString modulePath;
    getModulePath(modulePath);
    s_executableSource.reset(FileDataSource::openDataSourceFile(modulePath.getUtf8(), nullptr));
    if (!s_executableSource) {
        StringBuffer message(STUB_TEXT_OPEN_EXE_FAILED);
        message.append(modulePath.getAnsi());
        return fail(owner, message.getString());
    }
    // A signed installer's payload lies before its signature; what the
    // certificate table holds is not covered by the signature and is never
    // read as payload.
    const SignatureArea::CertificateTable signature = SignatureArea::findInFile(modulePath.getUtf8());
    s_executableSource->setEndOffset(signature.offset);
    g_archive.setSource(s_executableSource.get());
    // Nothing but the archive reads the executable after the marker.
    g_archive.setSourceReading(SimpleArchive::SourceReading::ReadAhead);
    return true;
}

// A flag setting is on when its value is "true" in any ASCII letter case.
bool flagSetting(const char* name) {
    StringBuffer value;
    g_archive.getArg(name, value);
    return value.equalsIgnoreCase(kTrueValue);
}

// A setting that is on unless its value is "false" in any ASCII letter case.
bool unlessFalseSetting(const char* name) {
    StringBuffer value;
    g_archive.getArg(name, value);
    return !value.equalsIgnoreCase(kFalseValue);
}

void copySettings() {
    g_archive.getArg("appTitle", g_saApp.m_appTitle);
    g_archive.getArg("appCaption", g_saApp.m_appCaption);
    g_archive.getArg("setupFilename", g_saApp.m_setupFilename);
    g_archive.getArg("setupParams", g_saApp.m_setupParams);
    g_archive.getArg("unzipDir", g_saApp.m_unzipDir);
}

}  // namespace

bool loadConfiguration(HWND owner) {
    if (!openExecutable(owner)) return false;

    uint32_t sizeLow = 0;
    uint32_t sizeHigh = 0;
    if (!s_executableSource->getFileSize(sizeLow, sizeHigh)) {
        return fail(owner, STUB_TEXT_FILE_SIZE_FAILED);
    }
    g_progress.setExecutableSize(sizeLow, sizeHigh);

    if (!g_archive.findMarker()) return fail(owner, STUB_TEXT_NO_MARKER);
    if (!g_archive.readHeader()) return fail(owner, STUB_TEXT_BAD_HEADER);
    if (!g_archive.readArgs()) return fail(owner, STUB_TEXT_BAD_ARGS);

    copySettings();
    writeDiagnosticLines("0) ", g_saApp.m_setupFilename);
    g_saApp.m_encrypted = g_archive.isEncrypted();
    g_saApp.m_noInterface = flagSetting("noInterface");
    g_saApp.m_unzipToTemp = flagSetting("unzipToTemp");
    // Settings that older stubs do not read: they launch and go on.
    g_saApp.m_waitForSetup = flagSetting("waitForSetup");
    g_saApp.m_cleanupAfterSetup = flagSetting("cleanupAfterSetup");
    g_saApp.m_allowCommandLine = unlessFalseSetting("allowCommandLine");
    return true;
}
