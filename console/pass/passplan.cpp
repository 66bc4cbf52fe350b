#include "passplan.h"

PassPlanRecord PassPlan;
