#include <zo/zoobject.h>

ZoObject::~ZoObject() = default;

short ZoObject::compare(const ZoObject *) const { return 0; }
