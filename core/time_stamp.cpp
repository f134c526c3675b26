#include "core/time_stamp.h"
