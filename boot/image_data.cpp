// The boot image, embedded byte for byte as vyn-image wrote it at build
// time (VYN_BOOT_IMAGE names the file). Linked into the programs that boot
// the library, never into the runtime library the builder itself links.
#ifndef VYN_BOOT_IMAGE
#error "VYN_BOOT_IMAGE must name the boot image file"
#endif

asm(".section .rodata\n"
	".global vyn_boot_image\n"
	".global vyn_boot_image_end\n"
	".type vyn_boot_image, @object\n"
	".balign 16\n"
	"vyn_boot_image:\n"
	".incbin \"" VYN_BOOT_IMAGE "\"\n"
	"vyn_boot_image_end:\n"
	".byte 0\n"
	".previous\n");
