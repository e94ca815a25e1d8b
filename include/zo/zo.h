// Umbrella header: everything a driver uses from the library.
#pragma once

#include <zo/zoexport.h>
#include <zo/ramalloc.h>
#include <zo/zoobject.h>
#include <zo/zocritse.h>
#include <zo/pertask.h>
#include <zo/strfuncs.h>
