#pragma once
// The class factory of CShellExt. Every DllGetClassObject call makes a new one.

#include "shellext/CShellExt.h"
#include "shellext/ClassFactory.h"

using CShellExtClassFactory = veltrane::ClassFactory<CShellExt>;
