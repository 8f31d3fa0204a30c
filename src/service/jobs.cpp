#include "service/jobs.h"
