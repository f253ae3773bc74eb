#include "record/run_options.h"

RunOptions runOptions;
