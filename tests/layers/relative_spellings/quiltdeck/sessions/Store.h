#pragma once

struct Store {};
