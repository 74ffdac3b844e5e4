#include "frontend/diagnostics.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/movegen.h"
#include "board/see.h"
#include "eval/evaluate.h"
#include "frontend/frontend.h"
#include "search/benchmark.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

namespace {

struct TestPosition {
    const char* name;
    const char* fen;
};

// Trailing blanks are part of some of these texts.
constexpr TestPosition kTestPositions[] = {
    {"n1", "3rk2r/ppp2ppp/8/3Pp3/8/8/PPP2PPP/R3K2R w KQk d6 12 1"},
    {"p", "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - -"},
    {"chain", "5rk1/ppb2qpp/2p2n2/3p4/3Pp3/4PpP1/PPQN1P1P/2R3KB w - - 1 1 "},
    {"bug", "6k1/7p/3p3b/2pN4/4p3/8/1Pn2PPP/4K2R w K - 0 24"},
    {"killer", "r3qrk1/pp2ppbp/6p1/1Np5/P7/2PP3P/1P2QPP1/R2R2K1 w - - 0 1"},
    {"good", "r1bqkb1r/ppp2ppp/2n1pn2/8/2pP4/3BPN2/PP3PPP/RNBQK2R w KQkq - 0 6"},
    {"test", "r3k2r/p1p3pp/2pq1p2/4pb2/1bQ2n2/2N2N1P/PPPP1PP1/R1B1K1R1 w Qkq - 8 12"},
    {"pin", "6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - 2 1"},
    {"m1", "5k2/8/6r1/5K2/8/8/7p/8 b - - 3 75"},
    {"m5", "8/RP6/2k5/8/8/6P1/7P/7K w - - 1 62"},
    {"m8", "8/7K/8/8/8/8/R7/7k w - - 0 1"},
    {"t", "r1bqkb1r/pp2pppp/3p1n2/6B1/3nP3/2N5/PPP2PPP/R2QKB1R b KQkq - 0 7"},
    {"o", "6k1/R5p1/4prp1/3pQ3/3N4/3b1P2/5P1P/2r3K1 w - - 3 26 "},
    {"c", "r5k1/1pp2rbp/3p2p1/3Pp3/2P1P1q1/1NN2pBb/P6P/R2QR1K1 w - - 2 23 "},
    {"d", "r7/pp1r1P2/3p2kn/1P2p2p/2P2p1B/8/P5P1/1R1R2K1 w - - 1 33"},
    {"e", "r1b2rk1/2q1bppp/pp2p3/2npP3/1n3P1P/2NBBN2/PPPQ2P1/1K1R3R w - - 0 14"},
    {"mob", "6kn/6pb/7p/8/2N5/8/3B2PP/6K1 w - - 0 1 "},
    {"fianc", "6k1/pbp2npp/1p3p2/8/8/1P4P1/PBP2P1P/6K1 w - - 0 1"},
};

constexpr const char* kPieceTestFen = "6k1/8/8/2q1n3/1b3r2/3N4/8/6K1 w - - 0 1 ";

PositionStack& game() {
    return main_search.stack;
}

void print_moves(const MoveEntry* list, const MoveEntry* end, uint32_t side,
                 const Board* negative_see = nullptr) {
    char text[MOVE_TEXT_SIZE];
    for (const MoveEntry* e = end; e-- > list;) {
        move_to_text(text, e->move, side);
        if (negative_see && see_is_losing(*negative_see, e->move))
            std::printf("Move: %s    negSEE\n", text);
        else
            std::printf("Move: %s\n", text);
    }
}

} // namespace

const char* test_position_fen(const char* name) {
    for (const TestPosition& t : kTestPositions)
        if (std::strcmp(t.name, name) == 0) return t.fen;
    return nullptr;
}

void diag_size() {
    std::printf("Hash record size: %2" PRIu64 " byte  (%3" PRIu64 " bit)\n", uint64_t{16},
                uint64_t{128});
    std::printf("Hash Data   size: %2" PRIu64 " byte  (%3" PRIu64 " bit)\n", uint64_t{8},
                uint64_t{64});
    std::printf("\n");
    std::printf("HashPawn    size: %2" PRIu64 " byte  (%3" PRIu64 " bit)\n", uint64_t{24},
                uint64_t{192});
}

// The hash test commands use the last bucket of the table.
uint64_t test_bucket() {
    return tt.entries - 1;
}

void diag_hstore(const char* line) {
    const long age = std::strtol(line + 6, nullptr, 0); // "hstore %i"; 0 when unreadable
    tt.age = static_cast<uint8_t>(age);
    tt_store_at(test_bucket(), *game().current, 1, 1, BOUND_EXACT, 100, 0);
    std::printf("Stored with aging: %u\n", static_cast<unsigned>(tt.age));
}

void diag_hprobe() {
    uint64_t data = 0;
    const int16_t r = tt_probe_at(test_bucket(), *game().current, &data, 1, 1, 20, 200);
    std::printf("%s\n", r == TT_MISS ? "Hash Probe KO" : "Hash Probe OK");
}

void diag_clear() {
    tt_clear();
    pawn_clear(main_search);
}

void diag_dump() {
    tt_dump(tt.entries, game().current->side);
}

void diag_score() {
    const int16_t score = evaluate_with_breakdown(main_search);
    print_eval_breakdown();
    std::printf("Score: %i\n", score);
}

void diag_key() {
    const Board& b = *game().current;
    std::printf("HashKey (full): %" PRIu64 "\n", compute_key(b));
    std::printf("HashKey (inc) : %" PRIu64 "\n", b.key);
}

void diag_inv() {
    Board& b = *game().current;
    // The side to move would no longer be the one in check, and its king could be taken.
    if (king_attackers(b)) {
        std::printf("Error (side to move in check): inv\n");
        return;
    }
    flip_board(b);
    b.ep_file = 8; // the pawn that just advanced two squares now belongs to the side to move
}

void diag_load_position(const char* fen) {
    read_fen(game(), fen, nullptr);
}

void diag_pin() {
    diag_load_position(test_position_fen("pin"));
    const Bitboard pinned = immobile_pinned(*game().current);
    if (pinned) std::printf("Pins: %" PRIu64 "\n", pinned);
}

void diag_piece(const char* line) {
    const long square = std::strtol(line + 5, nullptr, 0); // "piece %i"; 0 when unreadable
    diag_load_position(kPieceTestFen);
    const int code = piece_at(*game().current, static_cast<int>(square & 63));
    std::printf("Piece Value: %i\n", see_piece_value(code));
}

void diag_legal() {
    const Board& b = *game().current;
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_all_moves(b, list);
    std::printf("\nAll moves:    %" PRIu64 "\n", static_cast<uint64_t>(end - list));
    print_moves(list, end, b.side);
    end = gen_legal_moves(b, list);
    std::printf("\nLegal moves:    %" PRIu64 "\n", static_cast<uint64_t>(end - list));
    print_moves(list, end, b.side);
    end = gen_checks(b, list);
    std::printf("\nCheck moves:    %" PRIu64 "\n", static_cast<uint64_t>(end - list));
    print_moves(list, end, b.side, &b);
    const Bitboard checkers = king_attackers(b);
    if (checkers) {
        end = gen_evasions(b, checkers, list);
        std::printf("\nEvasion moves:    %" PRIu64 "\n", static_cast<uint64_t>(end - list));
        print_moves(list, end, b.side);
    }
}

void diag_probe() {
    const Board& b = *game().current;
    print_board(b);
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(b, list);
    std::printf("Legal moves:    %i\n", static_cast<int>(end - list));
    print_moves(list, end, b.side);
    int16_t tb_score = 0;
    const int result = tb_root_filter(b, list, &tb_score, &end, game().boards);
    int dtz_ok = 0, wdl_ok = 0;
    const int dtz = tb_probe_dtz(b, &dtz_ok);
    const int wdl = tb_probe_wdl(b, &wdl_ok);
    std::printf("\nEGTB position:  %i  (%i=true, %i=false)\n", result, 1, 0);
    std::printf("DTZ:            %i\n", dtz);
    std::printf("WDL:            %i\n", wdl);
    std::printf("TBScore:        %i\n\n", tb_score);
    std::printf("EGTB moves:     %i\n", static_cast<int>((end - list) % 256));
    if (result == 0) return;
    char text[MOVE_TEXT_SIZE];
    for (const MoveEntry* e = end; e-- > list;) {
        move_to_text(text, e->move, b.side);
        std::printf("Move: %s   DTZ: %i\n", text, e->score);
    }
}

void diag_gen() {
    const Board& b = *game().current;
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(b, list);
    print_moves(list, end, b.side);
    std::printf("Total Legal moves: %i\n", static_cast<int>(end - list));
}

void diag_see() {
    see_test(game());
}

void diag_perft() {
    run_benchmark(main_search);
}
