#include "cli/json_report.h"

#include <nlohmann/json.hpp>

#include "platform/display_name.h"
#include "settings/job_settings.h"

namespace korvel::cli {

namespace {

// Insertion order: keys come out in the documented order, the summary first.
using json = nlohmann::ordered_json;

// Every text from the site goes through here: a name that is not valid UTF-8 would make the document
// invalid, and the escaped form is the one the text report shows too.
std::string shown(std::string_view bytes) {
    return platform::displayName(bytes);
}

// The values as the command line's options name them.
std::string_view targetName(std::int32_t target) {
    switch (target) {
        case kTargetIso9660:
            return "iso9660";
        case kTargetDos:
            return "dos";
        case kTargetVfat:
            return "vfat";
        case kTargetNtfs:
            return "ntfs";
        case kTargetMacintosh:
            return "mac";
        case kTargetUnix:
            return "unix";
        default:
            return "none";
    }
}

std::string_view caseName(std::int32_t conversion) {
    switch (conversion) {
        case kCaseLower:
            return "lower";
        case kCaseUpper:
            return "upper";
        default:
            return "keep";
    }
}

// A check plans a stored "revert" as keeping each link's form.
std::string_view linkFormName(std::int32_t conversion) {
    switch (conversion) {
        case kUrlRelative:
            return "relative";
        case kUrlRoot:
            return "root";
        case kUrlAbsolute:
            return "absolute";
        default:
            return "keep";
    }
}

json weightJson(const CheckFindings::PageWeight& weight) {
    return {
        {"page", shown(weight.page)},
        {"bytes", weight.bytes},
        {"seconds",
         {{"at14400", weight.seconds[0]},
          {"at28800", weight.seconds[1]},
          {"at33600", weight.seconds[2]},
          {"at56000", weight.seconds[3]}}},
        {"marks", {{"external", weight.external}, {"broken", weight.broken}, {"unknown", weight.unknown}}}};
}

json settingsJson(const JobSettings& settings) {
    json map = json::array();
    for (const auto& [from, to] : settings.FilenameExtensions)
        map.push_back({{"from", shown(from)}, {"to", shown(to)}});
    json keep = json::array();
    for (const std::string& pattern : settings.KeepPatterns)
        keep.push_back(shown(pattern));
    return {{"target", targetName(settings.Target)},
            {"case", caseName(settings.CaseConv)},
            {"map", std::move(map)},
            {"links", linkFormName(settings.AbsRelCnvrt)},
            {"filesOnly", settings.FilesOnly},
            {"subdirectories", settings.UseSubdirs},
            {"keep", std::move(keep)},
            {"reports",
             {{"brokenLinks", settings.ReportUnresolvedRefs},
              {"brokenAnchors", settings.ReportBrokenAnchors},
              {"orphans", settings.ReportUnusedFiles},
              {"externalUrls", settings.ReportExternalRefs},
              {"pageWeights", settings.ReportEstimated}}}};
}

}  // namespace

std::string jsonReport(const CheckFindings& findings, const JsonReportContext& context) {
    const JobSettings& settings = findings.settings;

    json broken = json::array();
    for (const auto& link : findings.brokenLinks)
        broken.push_back({{"page", shown(link.page)}, {"line", link.line}, {"link", shown(link.link)}});
    json anchors = json::array();
    for (const auto& anchor : findings.brokenAnchors)
        anchors.push_back({{"page", shown(anchor.page)},
                           {"line", anchor.line},
                           {"link", shown(anchor.link)},
                           {"fragment", shown(anchor.fragment)},
                           {"target", shown(anchor.target)}});
    json syntax = json::array();
    for (const auto& error : findings.syntaxErrors)
        syntax.push_back({{"page", shown(error.page)},
                          {"line", error.line},
                          {"kind", error.kind},
                          {"message", shown(error.message)}});
    json names = json::array();
    for (const auto& name : findings.suggestedNames)
        names.push_back(
            {{"path", shown(name.path)}, {"name", shown(name.name)}, {"newPath", shown(name.newPath)}});
    json changes = json::array();
    for (const auto& change : findings.linkChanges)
        changes.push_back({{"page", shown(change.page)},
                           {"line", change.line},
                           {"old", shown(change.oldText)},
                           {"new", shown(change.newText)},
                           {"note", change.note}});
    json orphans = json::array();
    for (const auto& path : findings.orphans)
        orphans.push_back({{"path", shown(path)}});
    json external = json::array();
    for (const auto& url : findings.externalUrls)
        external.push_back({{"page", shown(url.page)}, {"line", url.line}, {"url", shown(url.url)}});
    json weights = json::array();
    for (const auto& weight : findings.pageWeights)
        weights.push_back(weightJson(weight));
    json skipped = json::array();
    for (const auto& entry : findings.skipped)
        skipped.push_back({{"path", shown(entry.path)}, {"kind", entry.kind}});
    json errors = json::array();
    for (const auto& error : findings.errors) {
        json details = json::array();
        for (const auto& detail : error.details)
            details.push_back(shown(detail));
        errors.push_back({{"text", shown(error.text)}, {"details", std::move(details)}});
    }

    json summary = {
        {"korvelVersion", KORVEL_VERSION},
        {"directory", shown(settings.Directory)},
        {"homePage", settings.FilesOnly ? json(nullptr) : json(shown(settings.HomePage))},
        {"server", shown(settings.Server)},
        {"settings", settingsJson(settings)},
        {"files", findings.fileCount},
        {"directories", findings.dirCount},
        {"completed", findings.completed},
        {"linksChecked", findings.linksChecked},
        {"linkFormRefused", findings.linkFormRefused},
        {"needsAttention", context.needsAttention},
        {"counts",
         {{"brokenLinks", broken.size()},
          {"brokenAnchors", anchors.size()},
          {"syntaxErrors", syntax.size()},
          {"suggestedNames", names.size()},
          {"linkChanges", changes.size()},
          {"orphans", orphans.size()},
          {"externalUrls", external.size()},
          {"pageWeights", weights.size()},
          {"skipped", skipped.size()},
          {"errors", errors.size()}}},
    };

    json document;
    document["schemaVersion"] = kJsonReportVersion;
    document["summary"] = summary;
    document["brokenLinks"] = std::move(broken);
    document["brokenAnchors"] = std::move(anchors);
    document["syntaxErrors"] = std::move(syntax);
    document["suggestedNames"] = std::move(names);
    document["linkChanges"] = std::move(changes);
    document["orphans"] = std::move(orphans);
    document["externalUrls"] = std::move(external);
    document["frontPageWeight"] = findings.hasFrontPage ? weightJson(findings.frontPage) : json(nullptr);
    document["pageWeights"] = std::move(weights);
    document["skipped"] = std::move(skipped);
    document["errors"] = std::move(errors);
    json orphansJob(nullptr);
    if (findings.orphansJob) {
        const auto& job = *findings.orphansJob;
        json removed = json::array();
        for (const auto& path : job.removed)
            removed.push_back({{"path", shown(path)}});
        json directories = json::array();
        for (const auto& path : job.removedDirectories)
            directories.push_back({{"path", shown(path)}});
        orphansJob = {{"action", job.moved ? "move" : "trash"},
                      {"movedTo", job.movedTo.empty() ? json(nullptr) : json(shown(job.movedTo))},
                      {"removed", std::move(removed)},
                      {"removedDirectories", std::move(directories)}};
    }
    document["orphansJob"] = std::move(orphansJob);
    // Every text was made valid above; "replace" only guards against one that was missed.
    return document.dump(2, ' ', false, json::error_handler_t::replace) + '\n';
}

}  // namespace korvel::cli
