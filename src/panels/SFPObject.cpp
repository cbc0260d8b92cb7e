#include "panels/SFPObject.h"
