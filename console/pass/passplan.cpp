#include "passplan.h"

