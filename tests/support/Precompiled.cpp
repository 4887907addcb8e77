// The source that GoogleTest's precompiled header is built with; it holds nothing itself.
