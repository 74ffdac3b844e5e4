#include "search/thread.h"

SearchThread main_search;
