#pragma once
// placeholder: shared temporary-tree helpers for the core tests
