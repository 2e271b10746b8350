#pragma once
// What a job hands to everything it runs: the sink its findings go to. A job owns one; a pass that runs on
// a thread of its own gets a copy with a sink of its own.
namespace korvel::report {
class ReportSink;
}

namespace korvel {

struct JobContext {
    report::ReportSink& report;

    // This context with its findings going to "sink" instead.
    JobContext withReport(report::ReportSink& sink) const { return JobContext{sink}; }
};

}  // namespace korvel
