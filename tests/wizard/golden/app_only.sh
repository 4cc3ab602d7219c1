[ -f '/tmp/stage3-install.AbC123/quorvelInstallSettings' ] && . '/tmp/stage3-install.AbC123/quorvelInstallSettings'
# The copies the checks passed: here, or where the root side's argument says.
PACKAGES=${1:-'/tmp/stage3-install.AbC123/packages'}
STEPS=1
BROWSER=no
BROWSERSTAT=0
FILE='/media/cd/quorvel-storman-3.B-2.i386.rpm'
RUNNING_FROM_GUI=1
export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP RUNNING_FROM_GUI
echo "%% step $STEPS of $STEPS"
echo rpm -Uv "$FILE"
rpm -Uv --percent "$PACKAGES"/'quorvel-storman-3.B-2.i386.rpm'
STAT=$?
if [ $STAT -ne 0 ] ; then
	echo $STAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
	echo '__________________________________'
	exit $STAT
fi
if [ $BROWSERSTAT -ne 0 ] ; then
	echo $BROWSERSTAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
	echo '__________________________________'
	exit $BROWSERSTAT
fi
echo Done!!!!
echo '__________________________________'
exit 0
