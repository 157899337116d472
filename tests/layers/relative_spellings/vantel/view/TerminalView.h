#pragma once

struct TerminalView {};
