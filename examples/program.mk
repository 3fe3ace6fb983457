# The rules an example's Makefile includes once it has named its program:
#
#   NAME     the program: NAME.coff (linked by the GNU H8 toolchain, Debian's gcc-h8300-hms),
#            then NAME.abs (the SYSROF module LO downloads) and NAME.map (the symbols for
#            h8dbg -m), both written by h8abs make
#   OBJECTS  its object files: NAME.o and, for C programs, the board support (crt0.o sci3.o
#            runtime.o)
#
# Sources are looked up in the example's own directory, then in examples/board; the program is
# linked for the board's memory map by examples/board/h83664.ld. Variables for make's command
# line:
#
#   H8ABS=PATH    the h8abs to run (default: build/h8abs of this tree, which
#                 `cmake --build build --target h8abs` makes)
#   OUT=DIR       where the objects and the three files go (default: the example's directory)
#   CROSS=PREFIX  the toolchain's prefix (default h8300-hms-)
#
# The module's date is fixed (SOURCE_DATE_EPOCH=0), so one source always gives the same bytes:
# the .abs and .map files are committed, and tests/examples builds them again to compare.
# The commands themselves are not echoed; h8abs reports what it wrote.

HERE := $(patsubst %/,%,$(dir $(abspath $(firstword $(MAKEFILE_LIST)))))
EXAMPLES := $(patsubst %/,%,$(dir $(abspath $(lastword $(MAKEFILE_LIST)))))
BOARD := $(EXAMPLES)/board
H8ABS ?= $(EXAMPLES)/../build/h8abs
OUT ?= $(HERE)
CROSS ?= h8300-hms-
OPT ?= -O2
CFLAGS = -mh -mn $(OPT) -Wall -W -Werror -I$(BOARD)

vpath %.c $(HERE) $(BOARD)
vpath %.s $(HERE) $(BOARD)

all: $(OUT)/$(NAME).abs

# h8abs runs in OUT, so that its report names the files alike wherever OUT is.
$(OUT)/$(NAME).abs: $(OUT)/$(NAME).coff
	@test -x $(H8ABS) || { echo "no $(H8ABS): build it (cmake --build build --target h8abs) or give H8ABS=path"; exit 1; }
	@cd $(OUT) && SOURCE_DATE_EPOCH=0 $(abspath $(H8ABS)) make $(NAME).coff -o $(NAME).abs --map $(NAME).map

# -X leaves the assembler's .L labels out of the symbol table (the map cannot carry them).
$(OUT)/$(NAME).coff: $(addprefix $(OUT)/,$(OBJECTS)) $(BOARD)/h83664.ld
	@$(CROSS)gcc -mh -mn -nostdlib -Wl,-X -T $(BOARD)/h83664.ld -o $@ $(filter %.o,$^)

$(OUT)/%.o: %.c $(BOARD)/sci3.h | $(OUT)
	@$(CROSS)gcc $(CFLAGS) -c -o $@ $<

$(OUT)/%.o: %.s | $(OUT)
	@$(CROSS)as -o $@ $<

$(OUT):
	@mkdir -p $@

clean:
	rm -f $(OUT)/$(NAME).coff $(addprefix $(OUT)/,$(OBJECTS))

.PHONY: all clean
