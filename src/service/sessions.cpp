#include "service/sessions.h"
