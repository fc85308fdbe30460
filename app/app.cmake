# The windowed program.
