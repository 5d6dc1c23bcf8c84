#pragma once
#include <functional>
#include <string>

#include "jobs/Job.h"

namespace kv::cli {

// Runs a job to its end for a command: Ctrl-C becomes the job's cancel, a terminal shows the line
// `progressLine` makes of each snapshot. 0 when the job succeeded; otherwise prints
// "kelvadore-cli: COMMAND: ERROR" and returns 1 (130 when interrupted).
int FollowJob(const std::string& command, jobs::TJob& job,
              const std::function<std::string(const jobs::TJobProgress&)>& progressLine = {});

// A job's line: warnings and errors to stderr, the rest to stdout.
void PrintJobMessage(const jobs::TJobMessage& message);

// "NN% written (A of B MB), drive buffer NN%, cache NN%" for the writing jobs.
std::string WriteProgressLine(const jobs::TJobProgress& p);

}  // namespace kv::cli
