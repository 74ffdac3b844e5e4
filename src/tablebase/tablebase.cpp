// No tables are registered yet: every probe fails and the search goes on without them.
#include "tablebase/tablebase.h"

void tb_init(const char*, const char*) {}

int tb_probe_wdl(const Board&, int* success) {
    *success = 0;
    return 0;
}

int tb_probe_dtz(const Board&, int* success) {
    *success = 0;
    return 0;
}

int tb_root_filter(const Board&, MoveEntry*, int16_t* tb_score, MoveEntry**) {
    *tb_score = 0;
    return 0;
}
