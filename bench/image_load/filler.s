# 512 bytes of code that nothing calls, for the "before" launchers of
# bench/image_load.sh only: they move .rdata off a page boundary when the
# linker's own layout happens to put it on one. A plain (not COMDAT)
# section, so that the linker keeps it.
	.text
	.p2align 4
	.fill	512, 1, 0xCC
