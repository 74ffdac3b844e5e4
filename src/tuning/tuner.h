// The evaluation tuner: fits the weights of EvalParamTable to a file of positions.
//
// Two methods share one optimiser (numerical gradient descent with a bisection line search over
// the rows whose `tune` switch is on):
// - Texel: positions labelled with a game result; the error is the mean squared difference
//   between the result and a logistic function of the static evaluation ("texel", "tune",
//   "mink");
// - search score: positions labelled with the score of a depth-2 search; the error is the mean
//   absolute difference from the static evaluation ("TD1", "TD2", "TD3").
//
// Files, all in the working directory: "input.epd" (positions to prepare), "output.csv" (the
// positions kept), "skip.csv" (the rejected ones with a reason), "tuned.csv" (the result) and,
// optionally, "tune.txt" (the parameters or families to tune, one name a line). A file that cannot
// be opened or created ends the program with "File not found" and exit status 1.
#pragma once

#include <cstdint>

#include "search/thread.h"

// The logistic scale of the Texel error and of the preparation stage.
constexpr double TUNE_K = 1.641;

// Step of the difference quotients and tolerance of the line search: one unit of a weight.
constexpr double TUNE_H = 1.0;

// An error function of the optimiser.
using TuneErrorFn = double (*)(SearchThread& thread);

enum TuneStopRule {
    TUNE_STOP_SEARCH_SCORE, // stop when the line search finds no descent
    TUNE_STOP_TEXEL,        // stop when the weights moved by at most one unit in all
};

// The error functions. Each installs the table's current values (ResetEvalParams) and averages
// over every line of "output.csv", unreadable ones included; a file without lines gives 0. The
// positions are read once per tuning command and kept in memory; the evaluation is spread over
// settings.threads threads and summed in a fixed order, so the result does not depend on the
// thread count. `thread` is the state the command runs on; the evaluations use records of their
// own.
double TuneErrorSigmoid(SearchThread& thread);
double TuneErrorSigmoidK(SearchThread& thread, double k);
double TuneErrorAbs(SearchThread& thread);

// Numerical gradient (x 1000) of E over the tuned rows, into gradient[EVAL_PARAM_COUNT].
void TuneGradient(SearchThread& thread, TuneErrorFn error, double* gradient);
// Change of E over one step along the direction from the current values. A step moves each tuned
// row by its direction entry rounded to whole units and keeps it inside its min..max range.
double TuneSlope(SearchThread& thread, TuneErrorFn error, const double* direction);
// Moves the tuned rows to the minimum of E along the direction, measured in steps that move the
// row with the largest entry by one unit; rows pushed against a bound of their range stay put.
// The bracket widens while E keeps falling, then bisection narrows it to one step. Returns 1 when
// the first step does not lower E (the table is unchanged), else 0.
int TuneLineSearch(SearchThread& thread, TuneErrorFn error, const double* direction);
// Lists the tuned rows with their values and direction entries, then "e".
void TunePrintParams(const double* direction, double e);
// Runs the optimiser to its stop rule, records the values as `best`, and returns the final error.
// A tuned row that starts outside its range starts from the nearer bound.
double TuneOptimize(SearchThread& thread, TuneErrorFn error, TuneStopRule rule);
// Writes the tuned rows' names and `best` values to "tuned.csv" and lists them.
void WriteTunedParams();

// Switches on the rows named in "tune.txt" (a name, or a family name without the index, per
// line; rows with step 0 stay off). Returns the number of rows switched on, or -1 when there is
// no such file. The tuning commands do this themselves and put the table's own switches back
// when they end.
int TuneApplySwitchFile();

// The console commands. The preparation commands use the thread's position stack and put the
// position back when they are done.
void tune_texel_prepare(SearchThread& thread); // "texel"
void tune_texel(SearchThread& thread);         // "tune"
void tune_scan_k(SearchThread& thread);        // "mink"
void tune_td1(SearchThread& thread);           // "TD1"
void tune_td2(SearchThread& thread);           // "TD2"
void tune_td3(SearchThread& thread);           // "TD3"
