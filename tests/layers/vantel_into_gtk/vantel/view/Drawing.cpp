#include <cstdio>
#include "vantel/view/TerminalView.h"
#include "platform/ui/gtk/GtkWindowHost.h"
