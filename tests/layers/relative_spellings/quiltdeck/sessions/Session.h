#pragma once

struct Session {};
