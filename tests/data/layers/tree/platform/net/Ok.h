#pragma once
#include <httplib.h>
#include "Missing.h"
