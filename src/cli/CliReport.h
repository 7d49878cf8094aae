#pragma once
// How the tool reports a command line it refuses, or a command it refuses
// before any board is touched: a line on standard error, or with --json one
// JSON document on standard output, like every other outcome.

#include <string>
#include <vector>

#include "cli/ParsedArgs.h"
#include "common/Outcome.h"
#include "pod/PodPort.h"

namespace cvl::cli {

inline constexpr int kExitUsage = 2;

// A wrong command line: exit status 2.
int usageError(const ParsedArgs& args, const std::string& what);
// Before the command line could be read: json tells whether --json was among its words.
int usageError(const std::string& command, bool json, const std::string& what);

// A command refused with code: its message, then detail when given; exit status 1.
int refuse(const ParsedArgs& args, OutcomeCode code, const std::string& detail = {});
// The same, with the whole message given (a load's own line, for example).
int refuseWith(const ParsedArgs& args, OutcomeCode code, const std::string& message);

// A loaded program's warnings, on standard error.
void printWarnings(const std::vector<std::string>& warnings);

// Says on standard error why virtual pods are ignored, when they are (the
// pods folder is not the user's private one).
void warnAboutPodFolder();
// Names the pod a command uses: "Corvexlink POD SERIAL at PATH (backend)",
// or, for a port offered only because it was named, the port alone.
void printChosenPod(const PodInfo& pod);
// Prints advice about the pod's connection (a slow latency timer), if any.
void warnAboutPod(const PodInfo& pod);

}  // namespace cvl::cli
