[ -f '/tmp/stage3-install.AbC123/quorvelInstallSettings' ] && . '/tmp/stage3-install.AbC123/quorvelInstallSettings'
STEPS=2
BROWSER=no
BROWSERSTAT=0
if [ "$QRVLAUTOWEBSERVER" = "yes" ] && `ls | grep quorvel-browser > /dev/null 2>&1`; then 
	BROWSER=yes
	STEPS=$((STEPS + 1))
fi
FILE='/media/my cd/holvane-1.2.3-4.i386.rpm'
echo "%% step 1 of $STEPS"
echo rpm -Uv "$FILE"
(cd "${FILE%/*}/" && rpm -Uv --percent "./${FILE##*/}")
STAT=$?
if [ $STAT -ne 0 ] ; then
   echo $STAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
   echo '__________________________________'
   exit $STAT
fi
FILE='/media/it'\''s "$(reboot)" `id`; $HOME/quorvel-storman-3.B-2.rpm'
RUNNING_FROM_GUI=1
export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP RUNNING_FROM_GUI
if [ "$BROWSER" = "yes" ]; then
	echo "%% step 2 of $STEPS"
	echo rpm -Uv --nodeps quorvel-browser*.rpm
	rpm -Uv --nodeps --percent quorvel-browser*.rpm
	BROWSERSTAT=$?
fi
echo "%% step $STEPS of $STEPS"
echo rpm -Uv "$FILE"
(cd "${FILE%/*}/" && rpm -Uv --percent "./${FILE##*/}")
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
