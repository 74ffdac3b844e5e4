// The console's developer commands: keys, record sizes, test positions, move lists, exchange
// evaluation and the perft benchmark. Each works on the main search state's game position.
#pragma once

void diag_size();
void diag_hstore(const char* line);
void diag_hprobe();
void diag_clear();
void diag_dump();
void diag_score();
void diag_key();
void diag_inv();
void diag_load_position(const char* fen);
void diag_pin();
void diag_piece(const char* line);
void diag_legal();
void diag_gen();
// Tablebase values of the position and the root moves that keep its result.
void diag_probe();
void diag_see();
void diag_perft();

// FEN texts of the named test positions ("n1", "p", ..., "fianc"); null for any other name.
const char* test_position_fen(const char* name);
