# ___chkstk_ms: touches every page of a stack allocation of %rax bytes, from
# the top down, so that the stack's guard page moves down one page at a time.
# The compiler calls it before a function lowers the stack pointer by more
# than a page. It changes no register but the flags and leaves the stack
# pointer to the caller.
	.text
	.globl	___chkstk_ms
	.def	___chkstk_ms; .scl 2; .type 32; .endef
	.p2align 4
	.seh_proc ___chkstk_ms
___chkstk_ms:
	pushq	%rcx
	.seh_pushreg %rcx
	pushq	%rax
	.seh_pushreg %rax
	.seh_endprologue
	leaq	24(%rsp), %rcx		# the caller's stack pointer
	cmpq	$0x1000, %rax
	jb	2f
1:	subq	$0x1000, %rcx
	orq	$0, (%rcx)
	subq	$0x1000, %rax
	cmpq	$0x1000, %rax
	ja	1b
2:	subq	%rax, %rcx
	orq	$0, (%rcx)
	popq	%rax
	popq	%rcx
	ret
	.seh_endproc
