// The tablebase self-test of the console command "syzygy": the WDL and DTZ probes checked against
// files of reference values.
#pragma once

#include "board/board.h"

// Reads "D:/Release Under Test/TestSyzygy/TestCase_01.txt" to "TestCase_09.txt" (relative to the
// working directory), one test a line: "FEN,DTZ,WDL". Each line whose FEN cannot be read is
// appended to BadFEN.txt, each whose probed WDL or DTZ differs from the expected value to
// ErrorWDL.txt or ErrorDTZ.txt (a line can go to both), in the same folder. Progress and error
// counts are shown every 100000 lines. A file that cannot be opened ends the program with "File not
// found" and exit status 1. The positions are set up on `stack`, which afterwards holds the last
// position read successfully (or what it held before, when there was none).
void tb_self_test(PositionStack& stack);
