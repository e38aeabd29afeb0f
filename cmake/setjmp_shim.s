# libwinpthread in Debian is built for msvcrt and calls _setjmp, which the
# Universal C Runtime exports as __intrinsic_setjmp. A tail jump keeps the
# caller's frame, so this is the same call under its other name.
	.text
	.globl	_setjmp
_setjmp:
	jmp	__intrinsic_setjmp
