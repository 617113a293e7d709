#pragma once

#include "zalAppOptions.h"

// zalhost --render-frames ... --farm slurm: submits the frames as a Slurm array job, prints its
// progress, and returns the exit code (0 when every frame is a valid PNG). Ctrl+C cancels the job.
int zalRunFarmFromCommandLine(int argc, char** argv, const zalAppOptions& options);
