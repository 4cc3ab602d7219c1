[ -f '/tmp/stage3-install.AbC123/quorvelInstallSettings' ] && . '/tmp/stage3-install.AbC123/quorvelInstallSettings'
# The copies the checks passed: here, or where the root side's argument says.
PACKAGES=${1:-'/tmp/stage3-install.AbC123/packages'}
RUNNING_FROM_GUI=1
export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP RUNNING_FROM_GUI
fail() {
	echo $1 > '/tmp/stage3-install.AbC123/quorvelInstallError'
	echo '__________________________________'
	exit $1
}
echo "%% step 1 of 1"
FILE='/media/cd/quorvel-storman-3.B-2.i386.rpm'
echo rpm -Uv "$FILE"
rpm -Uv --percent "$PACKAGES"/'quorvel-storman-3.B-2.i386.rpm' || fail $?
echo Done!!!!
echo '__________________________________'
exit 0
