; Demonstration firmware for the TNC board's PIC, for trying zelmo_flash.
; It counts on PORTB (the status LEDs) and carries a banner and a version
; table; the EEPROM holds the modem's default KISS parameters.
;
; The bootloader owns words 0x0000-0x01FF, so the application starts at
; 0x0200. The board's memory map puts the data EEPROM at word 0xF000,
; beyond this processor's program memory, hence errorlevel -220.
;
; Rebuild with:  gpasm -a inhx32 -o demo_firmware.hex demo_firmware.asm

        processor 16f88
        #include <p16f88.inc>
        radix   hex
        errorlevel -302, -220

        org     0x0200
start:  banksel TRISB
        clrf    TRISB
        banksel PORTB
loop:   incf    PORTB, f
        call    delay
        goto    loop
delay:  movlw   0xFF
        movwf   0x20
wait:   decfsz  0x20, f
        goto    wait
        return

        org     0x0400
banner: dt      "ZELMO TNC DEMO", 0

        org     0x0FE0
version:
        dt      0, 0, 0, 2

        org     0xF000
        ; TXDELAY, PERSIST, SLOTTIME, TXTAIL, FULLDUPLEX
        de      d'50', d'63', d'10', d'1', d'0'
        end
