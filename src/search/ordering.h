// Move ordering: captures by their generator score, quiet moves by killers and history.
#pragma once

#include "search/thread.h"

void clear_killers(SearchThread& t);
void clear_history(SearchThread& t);

// Called together when a quiet move (castling included) causes a beta cut-off.
void update_killers(SearchThread& t, int ply, Move m);
void update_history(SearchThread& t, int depth, Move m);

// Takes the highest-scored entry of list..end (the one nearest the end among equals): it is
// returned, the last entry moves into its place and *end shrinks by one.
Move pick_capture(MoveEntry* list, MoveEntry*& end);

// Quiet moves are consumed from the end of the list; `current` is the last unconsumed entry.
// pick_killer brings a killer of this ply into the current slot and reports whether it did;
// pick_history otherwise brings the entry with the highest history counter there.
bool pick_killer(const SearchThread& t, int ply, MoveEntry* current, const MoveEntry* first);
void pick_history(const SearchThread& t, MoveEntry* current, const MoveEntry* first);
