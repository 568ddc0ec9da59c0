#pragma once
// The class factory of CExplorerCommand. Every DllGetClassObject call for
// CLSID_ExplorerCommand makes a new one.

#include "shellext/CExplorerCommand.h"
#include "shellext/ClassFactory.h"

using CExplorerCommandClassFactory = veltrane::ClassFactory<CExplorerCommand>;
