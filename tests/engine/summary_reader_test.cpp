// Reader behaviour on built compound files.
