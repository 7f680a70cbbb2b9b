#pragma once

// Everything the framework offers, for files that use several of its parts.

#include "framework/App.h"
#include "framework/CmdTarget.h"
#include "framework/CmdUI.h"
#include "framework/Collections.h"
#include "framework/ControlBar.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Document.h"
#include "framework/Exception.h"
#include "framework/File.h"
#include "framework/FileDialog.h"
#include "framework/Frame.h"
#include "framework/Gdi.h"
#include "framework/Geometry.h"
#include "framework/HandleMap.h"
#include "framework/Module.h"
#include "framework/Object.h"
#include "framework/String.h"
#include "framework/View.h"
#include "framework/Wnd.h"
