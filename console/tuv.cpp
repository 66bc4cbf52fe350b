#include "tuv.h"
tuv::tuv() {}
