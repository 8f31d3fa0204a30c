#include "service/users.h"
