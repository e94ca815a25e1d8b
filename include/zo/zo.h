// Umbrella header: everything a driver uses from the library.
#pragma once

#include <zo/zoexport.h>
#include <zo/ramalloc.h>
#include <zo/zoobject.h>
#include <zo/zocritse.h>
#include <zo/pertask.h>
#include <zo/strfuncs.h>
#include <zo/zoarray.h>
#include <zo/zolist.h>
#include <zo/zosorted.h>
#include <zo/zoreduct.h>
#include <zo/zoset.h>
#include <zo/zodictio.h>
#include <zo/zoseqdic.h>
#include <zo/zostring.h>
#include <zo/zoparams.h>
#include <zo/cntdblib.h>
#include <zo/zoerror.h>
#include <zo/bosfile.h>
#include <zo/bospath.h>
#include <zo/bosenv.h>
#include <zo/zotime.h>
#include <zo/zoscanne.h>
#include <zo/convert.h>
