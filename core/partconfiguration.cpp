#include "core/partconfiguration.h"

#include "bridge/pagecontext.h"
#include "core/configuration.h"
#include "core/httpsfiles.h"
#include "diagnostics/trace.h"
#include "server/httpconfig.h"
#include "server/tracetext.h"
#include "supervision/supervisor.h"
#include "webappapi/webapplicationservice.h"

#include <utility>

namespace core {

void ConfigureHttpServer(const Configuration& configuration, server::HttpConfig& http) {
    const Settings& settings = configuration.settings;
    http.webRootFolder = configuration.folders.WebRootFolder;
    http.tcpPort = settings.TCPPort;
    http.cacheExpiresStatic = settings.CacheExpiresStatic;
    http.cacheExpiresDynamic = settings.CacheExpiresDynamic;
    http.workerThreads = configuration.values.WorkerThreads;
    http.httpsEnabled = settings.HttpsEnabled;
    http.httpsPort = settings.HttpsPort;
    const HttpsFiles https = HttpsFilesOf(configuration.folders, settings);
    http.httpsCertificate = https.certificate;
    http.httpsKey = https.key;
    http.httpRedirect = settings.HttpRedirect;
    http.hstsMaxAge = settings.HstsMaxAge;
    const server::AddressRanges proxies = server::ParseAddressRanges(settings.TrustedProxies);
    http.trustedProxies = proxies.ranges;
    for (const QString& entry : proxies.skipped)
        diagnostics::WriteTrace(QStringLiteral("TrustedProxies: \"%1\" is neither an IP address "
                                               "nor a range of them (address/length); skipped")
                                    .arg(server::EscapeControlCharacters(entry)),
                                diagnostics::Severity::Warning);
}

void ConfigureSupervision(const Configuration& configuration, dataserver::Supervisor& supervisor) {
    const FolderSet& folders = configuration.folders;
    const StartupValues& values = configuration.values;
    dataserver::SupervisorConfig supervision = supervisor.config();
    supervision.ProgramFolder = folders.ProgramFolder;
    supervision.ParameterFile = folders.ParameterFile;
    supervision.AliveFile = folders.AliveFile;
    supervision.MessageFile = folders.MessageFile;
    supervision.InQueueFolder = folders.InQueueFolder;
    supervision.OutQueueFolder = folders.OutQueueFolder;
    supervision.ApplicationPath = configuration.settings.ApplicationPath;
    supervision.RunningMutexName = values.RunningMutexName;
    supervision.ShowDataServer = values.ShowDataServer;
    supervision.ApplicationDictionary = values.ApplicationDictionary;
    supervisor.setConfig(std::move(supervision));
    supervisor.setDataServerDebug(values.dataServerDebug);
}

void ConfigurePages(const Configuration& configuration, bridge::PageContext& pages) {
    const FolderSet& folders = configuration.folders;
    const Settings& settings = configuration.settings;
    const StartupValues& values = configuration.values;
    pages.ProgramFolder = folders.ProgramFolder;
    pages.WebRootFolder = folders.WebRootFolder;
    pages.UrlPrefix = values.UrlPrefix;
    pages.ApplicationDictionary = values.ApplicationDictionary;
    pages.ApplicationPath = settings.ApplicationPath;
    pages.ExcelInstalled = values.ExcelInstalled;
    pages.DebugMode = settings.DebugMode;
    pages.UserMode = values.UserMode;
    pages.RunSecret = values.RunSecret;
    pages.TempFolder = folders.TempFolder;
    pages.SessionTimeout = settings.SessionTimeout;
    pages.InQueueFolder = folders.InQueueFolder;
    pages.OutQueueFolder = folders.OutQueueFolder;
}

void ConfigureWebApplication(const Configuration& configuration,
                             bridge::WebApplicationService& webApplication) {
    const FolderSet& folders = configuration.folders;
    webApplication.configure({.applicationFolder = configuration.settings.ApplicationPath,
                              .inQueueFolder = folders.InQueueFolder,
                              .outQueueFolder = folders.OutQueueFolder,
                              .instanceFolder = folders.InstanceFolder,
                              .urlPrefix = configuration.values.UrlPrefix});
}

} // namespace core
